// Visual objects: a shared visual (a mesh or sprite) drawn at an object's
// own position, rotation and scale, and a list that draws one shared visual
// once per child, as instances.
#pragma once

#include "scene/objects.h"
#include "core/vecmath.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which parts of the transform a visual object applies (a set).
using TVisualOptions = uint8_t;
constexpr TVisualOptions voPosition = 1;
constexpr TVisualOptions voRotation = 2;
constexpr TVisualOptions voScale = 4;

// "[Position,Rotation]" and back; "[]" for the empty set. Reading tests for
// the member words anywhere in the text.
std::string VisualOptionsToStr(TVisualOptions options);
TVisualOptions StrToVisualOptions(std::string_view text);

class TMainVisualObject : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TMainVisualObject"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void Animate(float deltaTime) override;
    // Pushes the model-view matrix and applies the chosen transform parts:
    // translate, rotate about Y, X, then Z, scale. Nothing without options.
    void BeginRender() override;
    // Pops what the matching BeginRender pushed.
    void EndRender() override;
    void RenderOpaque() override;
    void RenderBlended() override;

    TVector3f Position{0, 0, 0};
    TVector3f Scale{1, 1, 1};
    TVector3f Angles{0, 0, 0};  // degrees
    TVisualOptions VisualOptions = voPosition | voRotation;
    TMainObject* Visual = nullptr;  // not owned

private:
    // Pushes not yet popped: the inherited Render nests RenderOpaque's
    // Begin/End pair inside its own.
    int FPushed = 0;
};

class TMainVisualObjectList : public TResource {
public:
    TMainVisualObjectList();
    std::string_view ClassName() const override { return "TMainVisualObjectList"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    // Animates the shared visual once, when there is at least one child.
    void Animate(float deltaTime) override;
    // Takes Alpha from the visual, then runs the item's passes (not the
    // list's: the children are instances, not drawn on their own).
    void Render() override;
    // The visual once per child, inside the child's transform.
    void RenderOpaque() override;
    // The same, only for a visual with a blended part.
    void RenderBlended() override;

    // Children in name order, or (unsorted) in the order they were added.
    void SetSorted(bool sorted) override;
    bool Sorted() const { return FSorted; }
    TMainItem* GetItem(int index) const override;
    void Delete(int index) override;
    void AddItem(TMainItem* item) override;
    void Remove(TMainItem* item) override;
    void FreeAll() override;

    TMainObject* Visual = nullptr;  // not owned

private:
    bool FSorted = true;
    std::vector<TMainItem*> FOrder;  // every child, in the order added
};
