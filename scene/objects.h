// The scene object model: the class tree every object of the scene derives
// from, the owning named lists, and the scene root with its three per-frame
// process lists.
#pragma once

#include "scene/scene_host.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMainList;
class TMainScene;
class TResourceLoader;
class TSceneFont;

// The passes an object of the scene takes part in (a set, one bit each).
using TProcessOptions = uint8_t;
constexpr TProcessOptions poRender = 1;
constexpr TProcessOptions poAnimation = 2;
constexpr TProcessOptions poEvents = 4;

// "[Render,Animation]" and back; reading tests for the member words
// anywhere in the text, the empty set is written as "".
std::string ProcessOptionsToStr(TProcessOptions options);
TProcessOptions StrToProcessOptions(std::string_view text);

// Where resources load from (a set): files on disk, the resource archive.
using TLoadSources = uint8_t;
constexpr TLoadSources lsFiles = 1;
constexpr TLoadSources lsArchive = 2;

// Anything the scene can hold.
class TMainItem {
public:
    TMainItem() = default;
    // An item that still has an Owner leaves it first.
    virtual ~TMainItem();
    TMainItem(const TMainItem&) = delete;
    TMainItem& operator=(const TMainItem&) = delete;

    virtual std::string_view ClassName() const { return "TMainItem"; }

    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool visible);
    virtual void ProcessEvents(float deltaTime);
    virtual void Animate(float deltaTime);
    virtual void BeginRender();
    virtual void EndRender();
    // BeginRender, RenderOpaque, RenderBlended (only with Alpha), EndRender.
    virtual void Render();
    virtual void RenderOpaque();
    virtual void RenderBlended();

    // True when the item has a blended pass to run after the opaque one.
    bool Alpha = false;
    TMainScene* MainScene = nullptr;  // the root; set when added to a list
    TMainList* Owner = nullptr;       // the owning list, if any

private:
    bool FVisible = true;
};

class TMainObject : public TMainItem {
public:
    std::string_view ClassName() const override { return "TMainObject"; }

    const std::string& Name() const { return FName; }
    // With an Owner the owner re-keys the object (and refuses a taken name).
    void SetName(const std::string& name);

    virtual void WriteProperties(TResourceLoader& loader);
    virtual void ReadProperties(TResourceLoader& loader);

private:
    friend class TMainObjectList;
    std::string FName;
};

class TMainSceneObject : public TMainObject {
public:
    std::string_view ClassName() const override { return "TMainSceneObject"; }

    // Values kept in the host's settings store rather than the script.
    virtual void LoadSettings();
    virtual void SaveSettings();

    TProcessOptions ProcessOptions = 0;
    // LoadFromFile and SaveToFile of a resource do nothing while false.
    bool Loadable = true;
    // Position in the scene's AllObjects, set when added to the scene.
    int32_t SceneIndex = -1;
};

// A list of items. Slots that only the concrete lists can answer are
// abstract here; the passes walk the children in GetItem order.
class TMainList : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TMainList"; }

    void ProcessEvents(float deltaTime) override;
    void Animate(float deltaTime) override;
    void Render() override;
    void RenderOpaque() override;
    void RenderBlended() override;
    void LoadSettings() override;
    void SaveSettings() override;

    // May be null for a slot that lost its object (the scene's holes).
    virtual TMainItem* GetItem(int index) const = 0;
    virtual int GetCount() const = 0;
    virtual int GetCapacity() const = 0;
    // Reserves room; requests beyond MaxReserve reserve only that much.
    virtual void SetCapacity(int capacity) = 0;
    // Drops the entry without freeing its object.
    virtual void Delete(int index) = 0;
    // Owning lists own the object once AddItem returns; when it raises, the
    // caller still owns it.
    virtual void AddItem(TMainItem* item);
    // Frees the last n children, last first.
    virtual void FreeItems(int n);
    virtual void Remove(TMainItem* item) = 0;
    virtual void Rename(TMainObject* object, const std::string& newName) = 0;
    virtual void Clear() = 0;
    virtual void FreeAll();
    virtual void SetSorted(bool sorted);

    // The loader reads Capacity, Count and child sections for this list.
    bool ChildrenInScript = false;

    // No reservation grows past this many entries at once, whatever a
    // script asks for; the lists still grow one by one as items arrive.
    static constexpr int MaxReserve = 4096;
};

// A non-owning list in insertion order (the scene's process lists).
class TMainItemList : public TMainList {
public:
    TMainItemList();
    std::string_view ClassName() const override { return "TMainItemList"; }

    TMainItem* GetItem(int index) const override;
    int GetCount() const override { return static_cast<int>(Items.size()); }
    int GetCapacity() const override { return static_cast<int>(Items.capacity()); }
    void SetCapacity(int capacity) override;
    void Delete(int index) override;
    void AddItem(TMainItem* item) override;
    // The list does not own its items: this only drops entries.
    void FreeItems(int n) override;
    void Remove(TMainItem* item) override;
    void Rename(TMainObject* object, const std::string& newName) override {}
    void Clear() override { Items.clear(); }

    // Makes room for one more entry, so that the next AddItem cannot fail.
    void ReserveOne();

private:
    std::vector<TMainItem*> Items;
};

// An owning list indexed by name. The index is kept in name order: names
// compare without regard to case, ties broken case-sensitively with lower
// case first, which is the platform's alphabetical order for our names.
// A name added twice keeps both objects (both owned, both visited), but
// FindObject only ever returns the first one added.
class TMainObjectList : public TMainList {
public:
    TMainObjectList();
    ~TMainObjectList() override;
    std::string_view ClassName() const override { return "TMainObjectList"; }

    // Children in name order.
    TMainItem* GetItem(int index) const override;
    int GetCount() const override { return static_cast<int>(Index.size()); }
    int GetCapacity() const override { return static_cast<int>(Index.capacity()); }
    void SetCapacity(int capacity) override;
    void Delete(int index) override;
    void AddItem(TMainItem* item) override;
    void Remove(TMainItem* item) override;
    void Rename(TMainObject* object, const std::string& newName) override;
    void Clear() override;

    // Exact, case-sensitive lookup; null when absent.
    TMainObject* FindObject(std::string_view name) const;

    // Adds an object this list is to own and returns it.
    template <class T>
    T* Add(std::unique_ptr<T> object) {
        AddItem(object.get());
        return object.release();
    }

    // The order of the index: negative, zero or positive.
    static int CompareNames(std::string_view a, std::string_view b);

protected:
    struct TEntry {
        std::string Name;
        std::unique_ptr<TMainObject> Object;
    };
    // Position of the object's entry, or -1.
    int IndexOf(const TMainItem* item) const;
    // Takes the entry out of the index; the caller now owns the object.
    TMainObject* Release(int index);

    std::vector<TEntry> Index;
};

// A named list that can load itself and its children from a script file.
class TResource : public TMainObjectList {
public:
    TResource();
    std::string_view ClassName() const override { return "TResource"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    // Sets Owner to this list after adding.
    void AddItem(TMainItem* item) override;
    // Frees the children.
    void Clear() override;
    void FreeAll() override;
    // Appends lines naming the files of the children (for a resource
    // script); nothing here.
    virtual void ListResources(std::vector<std::string>& lines);
    virtual void LoadFromFile();
    virtual void SaveToFile();

    std::string Path = ".\\";
    std::string SourceName;  // the file the resource loads itself from
};

// An object that shows one line of text with a scene font. The world
// layer's string class is one; the scene makes its frame-rate display from
// that class by name and sets it up through this interface, since the scene
// cannot see that layer.
class ITextLine {
public:
    virtual void SetTextFont(TMainObject* font) = 0;
    virtual void SetTextPosition(int32_t x, int32_t y) = 0;
    virtual void SetText(std::string_view text) = 0;

protected:
    ~ITextLine() = default;
};

// The root of the tree.
class TMainScene : public TResource {
public:
    TMainScene();
    ~TMainScene() override;
    std::string_view ClassName() const override { return "TMainScene"; }

    void ProcessEvents(float deltaTime) override;
    void Animate(float deltaTime) override;
    // Nothing while invisible; else back-face culling on, the render-state
    // cache forgets its texture and material, and RenderList draws in order.
    void Render() override;
    void LoadSettings() override;
    void SaveSettings() override;

    // Children in script order; null for a removed child's slot.
    TMainItem* GetItem(int index) const override;
    // Counts AllObjects slots, holes included, so that GetItem over
    // 0..GetCount()-1 reaches every child.
    int GetCount() const override { return static_cast<int>(AllObjects.size()); }
    // Drops the child at GetItem(index) without freeing it.
    void Delete(int index) override;
    void AddItem(TMainItem* item) override;
    // Frees the last n children in script order, last first.
    void FreeItems(int n) override;
    // Leaves a hole in AllObjects so that SceneIndex values stay valid.
    void Remove(TMainItem* item) override;
    void FreeAll() override;

    // The host calls this once per frame: events, animation, render.
    void Frame(float deltaTime);
    // A path of names joined by "/" from the scene; null on any miss.
    TMainObject* FindObject(std::string_view path) const;

    // The frame-rate display: on first showing, a font "FpsFont" and a
    // string "FpsStr" (made by the frame-rate text factory) join the scene;
    // without a factory the scene only keeps the flag.
    void ShowFPS(bool on);
    bool FPSShown() const { return FShowFPS; }
    // Sets the text of a visible frame-rate display to "<n> fps".
    void UpdateFps(int framesPerSecond);
    TSceneFont* FpsFont() const { return FFpsFont; }
    TMainSceneObject* FpsString() const { return FFpsString; }

    // Children that have not been removed (every one is in the name index).
    int LiveCount() const { return static_cast<int>(Index.size()); }

    std::unique_ptr<TMainItemList> EventList;
    std::unique_ptr<TMainItemList> AnimationList;
    std::unique_ptr<TMainItemList> RenderList;
    std::vector<TMainItem*> AllObjects;
    ISceneHost* Application = nullptr;
    TLoadSources LoadSources = lsFiles;

private:
    void RemoveFromProcessLists(TMainItem* item);
    // Forgets the frame-rate objects when one of them leaves the scene.
    void ForgetFpsObject(const TMainItem* item);
    bool FShowFPS = false;
    TSceneFont* FFpsFont = nullptr;
    TMainSceneObject* FFpsString = nullptr;
    ITextLine* FFpsText = nullptr;
};

// What a scene object reaches through its scene's host; each gives null (or
// the defaults) outside a scene, without a host, or without a GL context.
ISceneHost* HostOf(const TMainItem& item);
TCustomOpenGL* SceneOpenGL(const TMainScene* scene);
TSceneView SceneView(const TMainScene* scene);

// The frame-rate string is a text class of the world layer above; the world
// hands its maker down when it registers its classes.
using TFrameRateTextFactory = std::unique_ptr<TMainSceneObject> (*)();
void SetFrameRateTextFactory(TFrameRateTextFactory factory);

// The inverse of FindObject: the object's path from the scene ("" for null).
// Raises when the owner chain ends before reaching the scene.
std::string RefferenceToStr(const TMainScene* scene, const TMainObject* object);
