#include "scene/visuals.h"

#include "render/gl_table.h"
#include "core/errors.h"
#include "scene/loader.h"

#include <algorithm>

// --- options text -------------------------------------------------------------

std::string VisualOptionsToStr(TVisualOptions options) {
    std::string text = "[";
    auto add = [&](TVisualOptions bit, const char* word) {
        if (!(options & bit)) return;
        if (text.size() > 1) text += ",";
        text += word;
    };
    add(voPosition, "Position");
    add(voRotation, "Rotation");
    add(voScale, "Scale");
    return text + "]";
}

TVisualOptions StrToVisualOptions(std::string_view text) {
    TVisualOptions options = 0;
    if (text.find("Position") != std::string_view::npos) options |= voPosition;
    if (text.find("Rotation") != std::string_view::npos) options |= voRotation;
    if (text.find("Scale") != std::string_view::npos) options |= voScale;
    return options;
}

// --- TMainVisualObject --------------------------------------------------------

void TMainVisualObject::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    VisualOptions = StrToVisualOptions(loader.ReadString("VisualOptions", "[Position,Rotation]"));
    Position = loader.ReadVector("Position", Position);
    Scale = loader.ReadVector("Scale", Scale);
    Angles = loader.ReadVector("Angles", Angles);
    Visual = loader.ReadReference("Visual", Visual);
}

void TMainVisualObject::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteString("VisualOptions", VisualOptionsToStr(VisualOptions));
    loader.WriteVector("Position", Position);
    loader.WriteVector("Scale", Scale);
    loader.WriteVector("Angles", Angles);
    loader.WriteReference("Visual", Visual);
}

void TMainVisualObject::Animate(float deltaTime) {
    if (Visual) Visual->Animate(deltaTime);
}

void TMainVisualObject::BeginRender() {
    if (VisualOptions == 0) return;
    gl.PushMatrix();
    ++FPushed;
    if (VisualOptions & voPosition) gl.Translatef(Position.x, Position.y, Position.z);
    if (VisualOptions & voRotation) {
        gl.Rotatef(Angles.y, 0, 1, 0);
        gl.Rotatef(Angles.x, 1, 0, 0);
        gl.Rotatef(Angles.z, 0, 0, 1);
    }
    if (VisualOptions & voScale) gl.Scalef(Scale.x, Scale.y, Scale.z);
}

void TMainVisualObject::EndRender() {
    if (FPushed == 0) return;
    --FPushed;
    gl.PopMatrix();
}

void TMainVisualObject::RenderOpaque() {
    if (!Visual) return;
    BeginRender();
    Visual->RenderOpaque();
    EndRender();
}

void TMainVisualObject::RenderBlended() {
    if (!Visual) return;
    BeginRender();
    Visual->RenderBlended();
    EndRender();
}

// --- TMainVisualObjectList ----------------------------------------------------

TMainVisualObjectList::TMainVisualObjectList() { SetVisible(true); }

void TMainVisualObjectList::ReadProperties(TResourceLoader& loader) {
    TResource::ReadProperties(loader);
    Visual = loader.ReadReference("Visual", Visual);
}

void TMainVisualObjectList::WriteProperties(TResourceLoader& loader) {
    TResource::WriteProperties(loader);
    loader.WriteReference("Visual", Visual);
}

void TMainVisualObjectList::Animate(float deltaTime) {
    if (Visual && GetCount() > 0) Visual->Animate(deltaTime);
}

void TMainVisualObjectList::Render() {
    Alpha = Visual && Visual->Alpha;
    TMainItem::Render();
}

void TMainVisualObjectList::RenderOpaque() {
    if (!Visual) return;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* child = GetItem(i);
        child->BeginRender();
        Visual->RenderOpaque();
        child->EndRender();
    }
}

void TMainVisualObjectList::RenderBlended() {
    if (!Visual || !Visual->Alpha) return;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* child = GetItem(i);
        child->BeginRender();
        Visual->RenderBlended();
        child->EndRender();
    }
}

void TMainVisualObjectList::SetSorted(bool sorted) { FSorted = sorted; }

TMainItem* TMainVisualObjectList::GetItem(int index) const {
    if (FSorted) return TResource::GetItem(index);
    if (index < 0 || index >= static_cast<int>(FOrder.size()))
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return FOrder[static_cast<size_t>(index)];
}

void TMainVisualObjectList::Delete(int index) {
    TMainItem* item = GetItem(index);
    Remove(item);
}

void TMainVisualObjectList::AddItem(TMainItem* item) {
    // Room first, so that nothing can fail once the index owns the item.
    if (FOrder.size() == FOrder.capacity()) FOrder.reserve(std::max<size_t>(8, FOrder.capacity() * 2));
    TResource::AddItem(item);
    FOrder.push_back(item);
}

void TMainVisualObjectList::Remove(TMainItem* item) {
    TResource::Remove(item);
    auto at = std::find(FOrder.begin(), FOrder.end(), item);
    if (at != FOrder.end()) FOrder.erase(at);
}

void TMainVisualObjectList::FreeAll() {
    TResource::FreeAll();
    FOrder.clear();
}
