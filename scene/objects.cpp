#include "scene/objects.h"

#include "render/gl_table.h"
#include "render/pass_timer.h"
#include "scene/scene_fonts.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "core/strutil.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

[[noreturn]] void IndexError(int index) {
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
}

// Doubles the room of a full vector, so that the next push_back or insert
// cannot throw (it only moves elements).
template <class V>
void MakeRoomForOne(V& v) {
    if (v.size() == v.capacity()) v.reserve(std::max<size_t>(8, v.capacity() * 2));
}

}  // namespace

// --- process options --------------------------------------------------------

std::string ProcessOptionsToStr(TProcessOptions options) {
    std::string text;
    auto add = [&](TProcessOptions bit, const char* word) {
        if (!(options & bit)) return;
        text += text.empty() ? "[" : ",";
        text += word;
    };
    add(poRender, "Render");
    add(poAnimation, "Animation");
    add(poEvents, "Events");
    if (!text.empty()) text += "]";
    return text;
}

TProcessOptions StrToProcessOptions(std::string_view text) {
    TProcessOptions options = 0;
    if (text.find("Render") != std::string_view::npos) options |= poRender;
    if (text.find("Animation") != std::string_view::npos) options |= poAnimation;
    if (text.find("Events") != std::string_view::npos) options |= poEvents;
    return options;
}

// --- TMainItem ----------------------------------------------------------------

TMainItem::~TMainItem() {
    // Every Remove works by identity, since the derived parts of this item
    // are already gone.
    if (Owner) {
        TMainList* owner = Owner;
        Owner = nullptr;
        owner->Remove(this);
    }
}

void TMainItem::SetVisible(bool visible) { FVisible = visible; }
void TMainItem::ProcessEvents(float) {}
void TMainItem::Animate(float) {}
void TMainItem::BeginRender() {}
void TMainItem::EndRender() {}
void TMainItem::RenderOpaque() {}
void TMainItem::RenderBlended() {}

void TMainItem::Render() {
    if (!FVisible) return;
    BeginRender();
    RenderOpaque();
    if (Alpha) RenderBlended();
    EndRender();
}

// --- TMainObject --------------------------------------------------------------

void TMainObject::SetName(const std::string& name) {
    if (name == FName) return;
    if (Owner)
        Owner->Rename(this, name);
    else
        FName = name;
}

void TMainObject::WriteProperties(TResourceLoader& loader) {
    if (!Visible()) loader.WriteBool("Visible", false);
    if (Alpha) loader.WriteBool("Alpha", true);
}

void TMainObject::ReadProperties(TResourceLoader& loader) {
    SetVisible(loader.ReadBool("Visible", Visible()));
    Alpha = loader.ReadBool("Alpha", Alpha);
}

// --- TMainSceneObject ---------------------------------------------------------

void TMainSceneObject::LoadSettings() {}
void TMainSceneObject::SaveSettings() {}

// --- TMainList ----------------------------------------------------------------

void TMainList::ProcessEvents(float deltaTime) {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (TMainItem* item = GetItem(i)) item->ProcessEvents(deltaTime);
}

void TMainList::Animate(float deltaTime) {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (TMainItem* item = GetItem(i)) item->Animate(deltaTime);
}

void TMainList::Render() {
    if (!Visible()) return;
    BeginRender();
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* item = GetItem(i);
        if (item && item->Visible()) item->Render();
    }
    EndRender();
}

void TMainList::RenderOpaque() {
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* item = GetItem(i);
        if (item && item->Visible()) item->RenderOpaque();
    }
}

void TMainList::RenderBlended() {
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* item = GetItem(i);
        if (item && item->Visible()) item->RenderBlended();
    }
}

void TMainList::LoadSettings() {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (auto* object = dynamic_cast<TMainSceneObject*>(GetItem(i))) object->LoadSettings();
}

void TMainList::SaveSettings() {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (auto* object = dynamic_cast<TMainSceneObject*>(GetItem(i))) object->SaveSettings();
}

void TMainList::AddItem(TMainItem* item) { item->MainScene = MainScene; }

void TMainList::FreeItems(int n) {
    if (n < 1) return;
    n = std::min(n, GetCount());
    for (; n > 0; --n) {
        int last = GetCount() - 1;
        TMainItem* item = GetItem(last);
        Delete(last);
        if (item) {
            item->Owner = nullptr;  // so that its destructor does not call back
            delete item;
        }
    }
}

void TMainList::FreeAll() { FreeItems(GetCount()); }

void TMainList::SetSorted(bool) {}

// --- TMainItemList ------------------------------------------------------------

TMainItemList::TMainItemList() { ChildrenInScript = true; }

TMainItem* TMainItemList::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) IndexError(index);
    return Items[static_cast<size_t>(index)];
}

void TMainItemList::SetCapacity(int capacity) {
    Items.reserve(static_cast<size_t>(std::clamp(capacity, 0, MaxReserve)));
}

void TMainItemList::Delete(int index) {
    if (index < 0 || index >= GetCount()) IndexError(index);
    Items.erase(Items.begin() + index);
}

void TMainItemList::AddItem(TMainItem* item) {
    if (!item) throw Exception("TMainItemList.AddItem error: Add nil Object failed");
    MakeRoomForOne(Items);
    TMainList::AddItem(item);
    Items.push_back(item);
}

void TMainItemList::FreeItems(int n) {
    if (n < 1) return;
    Items.resize(Items.size() - static_cast<size_t>(std::min(n, GetCount())));
}

void TMainItemList::Remove(TMainItem* item) {
    auto it = std::find(Items.begin(), Items.end(), item);
    if (it != Items.end()) Items.erase(it);
}

void TMainItemList::ReserveOne() { MakeRoomForOne(Items); }

// --- TMainObjectList ----------------------------------------------------------

TMainObjectList::TMainObjectList() { ChildrenInScript = true; }

TMainObjectList::~TMainObjectList() { TMainObjectList::FreeItems(GetCount()); }

int TMainObjectList::CompareNames(std::string_view a, std::string_view b) {
    int c = str::CompareText(a, b);
    if (c != 0) return c;
    // Equal but for letter case: lower case first.
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return (a[i] >= 'a' && a[i] <= 'z') ? -1 : 1;
    return 0;
}

TMainItem* TMainObjectList::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) IndexError(index);
    return Index[static_cast<size_t>(index)].Object.get();
}

void TMainObjectList::SetCapacity(int capacity) {
    Index.reserve(static_cast<size_t>(std::clamp(capacity, 0, MaxReserve)));
}

TMainObject* TMainObjectList::Release(int index) {
    if (index < 0 || index >= GetCount()) IndexError(index);
    TMainObject* object = Index[static_cast<size_t>(index)].Object.release();
    Index.erase(Index.begin() + index);
    return object;
}

void TMainObjectList::Delete(int index) { Release(index); }

void TMainObjectList::AddItem(TMainItem* item) {
    if (!item) throw Exception("TMainObjectList.AddItem error: Add nil Object failed");
    auto* object = dynamic_cast<TMainObject*>(item);
    if (!object) throw Exception("TMainObjectList.AddItem error: Invalid class typecast");
    if (object->Name().empty()) throw Exception("TMainObjectList.AddItem error: Add empty Object.Name failed");
    std::string key = object->Name();
    MakeRoomForOne(Index);
    TMainList::AddItem(item);
    // After any object of the same name, so that FindObject keeps the first.
    auto at = std::upper_bound(Index.begin(), Index.end(), key,
                               [](const std::string& k, const TEntry& e) { return CompareNames(k, e.Name) < 0; });
    Index.insert(at, TEntry{std::move(key), std::unique_ptr<TMainObject>(object)});
}

int TMainObjectList::IndexOf(const TMainItem* item) const {
    for (size_t i = 0; i < Index.size(); ++i)
        if (Index[i].Object.get() == item) return static_cast<int>(i);
    return -1;
}

void TMainObjectList::Remove(TMainItem* item) {
    int i = IndexOf(item);
    if (i >= 0) Release(i);
}

void TMainObjectList::Rename(TMainObject* object, const std::string& newName) {
    if (!object || newName.empty() || FindObject(newName)) return;
    int i = IndexOf(object);
    if (i < 0) return;
    TEntry entry = std::move(Index[static_cast<size_t>(i)]);
    Index.erase(Index.begin() + i);
    entry.Name = newName;
    auto at = std::upper_bound(Index.begin(), Index.end(), entry.Name,
                               [](const std::string& k, const TEntry& e) { return CompareNames(k, e.Name) < 0; });
    Index.insert(at, std::move(entry));  // capacity is unchanged: cannot throw
    object->FName = newName;
}

void TMainObjectList::Clear() {
    // Entries are dropped, not freed: their owner is now whoever took them.
    for (auto& entry : Index) (void)entry.Object.release();
    Index.clear();
}

TMainObject* TMainObjectList::FindObject(std::string_view name) const {
    if (name.empty()) return nullptr;
    auto at = std::lower_bound(Index.begin(), Index.end(), name,
                               [](const TEntry& e, std::string_view k) { return CompareNames(e.Name, k) < 0; });
    if (at != Index.end() && at->Name == name) return at->Object.get();
    return nullptr;
}

// --- TResource ----------------------------------------------------------------

TResource::TResource() { SetVisible(false); }

void TResource::WriteProperties(TResourceLoader& loader) {
    TMainObjectList::WriteProperties(loader);
    // A resource starts invisible, so a visible one has to say so, or it
    // would come back hidden.
    if (Visible()) loader.WriteBool("Visible", true);
    if (Path != ".\\") loader.WriteString("Path", Path);
}

void TResource::ReadProperties(TResourceLoader& loader) {
    TMainObjectList::ReadProperties(loader);
    Path = loader.ReadString("Path", Path);
}

void TResource::AddItem(TMainItem* item) {
    TMainObjectList::AddItem(item);
    item->Owner = this;
}

void TResource::Clear() { FreeAll(); }

void TResource::FreeAll() {
    FreeItems(GetCount());
    TMainObjectList::Clear();
}

void TResource::ListResources(std::vector<std::string>&) {}

void TResource::LoadFromFile() {
    TMainScene* scene = MainScene;
    if (!Loadable || !scene || scene->LoadSources == 0) return;
    if ((scene->LoadSources & lsFiles) && SourceName.empty()) return;
    TLoadNestingGuard nesting(Name());

    FreeAll();
    std::string fileName = str::CombinePath(Path, SourceName);
    auto makeLoader = [&](bool fromArchive) {
        auto loader = std::make_unique<TResourceLoader>();
        loader->FromArchive = fromArchive;
        loader->FileName = fileName;
        loader->Section = Name();
        loader->Scene = scene;
        loader->Open();
        return loader;
    };
    std::unique_ptr<TResourceLoader> fileLoader, archiveLoader;
    if (scene->LoadSources & lsFiles) fileLoader = makeLoader(false);
    if (scene->LoadSources & lsArchive) archiveLoader = makeLoader(true);

    // Values from a disk file override those from the archive.
    if (archiveLoader) ReadProperties(*archiveLoader);
    if (fileLoader) ReadProperties(*fileLoader);
    if (fileLoader) fileLoader->LoadChildren(*this);
    if (archiveLoader) archiveLoader->LoadChildren(*this);
}

void TResource::SaveToFile() {
    TMainScene* scene = MainScene;
    if (!Loadable || !scene || !(scene->LoadSources & lsFiles) || SourceName.empty()) return;
    TResourceLoader loader;
    loader.FromArchive = false;
    loader.FileName = str::CombinePath(Path, SourceName);
    loader.Section = Name();
    loader.Scene = scene;
    loader.CreateForWriting();
    loader.WriteHeader(*this);
    WriteProperties(loader);
    loader.SaveChildren(*this);
    loader.Close();  // writes the file; a failure reaches the caller
}

// --- TMainScene ---------------------------------------------------------------

TMainScene::TMainScene()
    : EventList(std::make_unique<TMainItemList>()),
      AnimationList(std::make_unique<TMainItemList>()),
      RenderList(std::make_unique<TMainItemList>()) {
    SetName("MainScene");
    SetVisible(true);
    Alpha = true;
    MainScene = this;
    EventList->MainScene = this;
    AnimationList->MainScene = this;
    RenderList->MainScene = this;
}

TMainScene::~TMainScene() {
    TMainScene::FreeAll();
    Application = nullptr;
}

void TMainScene::ProcessEvents(float deltaTime) { EventList->ProcessEvents(deltaTime); }

void TMainScene::Animate(float deltaTime) { AnimationList->Animate(deltaTime); }

void TMainScene::Render() {
    if (!Visible()) return;
    gl.Enable(GL_CULL_FACE);
    TheRenderState().Reset();
    TPassTimer& timer = ThePassTimer();
    for (int i = 0, n = RenderList->GetCount(); i < n; ++i) {
        TMainItem* item = RenderList->GetItem(i);
        if (timer.Enabled() && item->Visible()) {
            const auto* object = dynamic_cast<const TMainObject*>(item);
            timer.Begin(object ? std::string_view(object->Name()) : item->ClassName());
        }
        item->Render();
    }
}

void TMainScene::Frame(float deltaTime) {
    ProcessEvents(deltaTime);
    Animate(deltaTime);
    Render();
}

void TMainScene::LoadSettings() {
    if (Application) ShowFPS(Application->ReadBool("FPS", false));
    TMainList::LoadSettings();
}

void TMainScene::SaveSettings() {
    if (Application) Application->WriteBool("FPS", FShowFPS);
    TMainList::SaveSettings();
}

static TFrameRateTextFactory FrameRateTextFactory = nullptr;

void SetFrameRateTextFactory(TFrameRateTextFactory factory) { FrameRateTextFactory = factory; }

void TMainScene::ShowFPS(bool on) {
    FShowFPS = on;
    if (on && !FFpsString && FrameRateTextFactory) {
        std::unique_ptr<TMainObject> made = FrameRateTextFactory();
        auto* text = dynamic_cast<ITextLine*>(made.get());
        auto* string = dynamic_cast<TMainSceneObject*>(made.get());
        if (text && string) {
            if (!FFpsFont) {
                auto font = std::make_unique<TSceneFont>();
                font->SetName("FpsFont");
                font->FontOptions |= foSoften | foFixedView;
                font->DisableAll();
                font->EnableString(" fps0123456789");
                font->FontCellSize = 32;
                font->ViewWidth = 1024;
                font->ViewHeight = 768;
                font->ProcessOptions = 0;
                FFpsFont = Add(std::move(font));
            }
            string->SetName("FpsStr");
            string->ProcessOptions = poRender;
            string->SetVisible(false);
            text->SetTextFont(FFpsFont);
            text->SetTextPosition(16, 732);
            Add(std::move(made));
            FFpsString = string;
            FFpsText = text;
        }
    }
    if (FFpsString) FFpsString->SetVisible(on);
}

void TMainScene::UpdateFps(int framesPerSecond) {
    if (!FFpsText || !FFpsString->Visible()) return;
    char text[32];
    std::snprintf(text, sizeof text, "%d fps", framesPerSecond);
    FFpsText->SetText(text);
}

void TMainScene::ForgetFpsObject(const TMainItem* item) {
    if (item == FFpsFont) FFpsFont = nullptr;
    if (item == FFpsString) {
        FFpsString = nullptr;
        FFpsText = nullptr;
    }
}

TMainItem* TMainScene::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) IndexError(index);
    return AllObjects[static_cast<size_t>(index)];
}

void TMainScene::AddItem(TMainItem* item) {
    // Room first, so that nothing below can fail once the index owns the item.
    MakeRoomForOne(AllObjects);
    RenderList->ReserveOne();
    AnimationList->ReserveOne();
    EventList->ReserveOne();
    TResource::AddItem(item);

    AllObjects.push_back(item);
    auto* object = dynamic_cast<TMainSceneObject*>(item);
    if (!object) return;
    object->SceneIndex = static_cast<int32_t>(AllObjects.size() - 1);
    if (object->ProcessOptions & poRender) RenderList->AddItem(item);
    if (object->ProcessOptions & poAnimation) AnimationList->AddItem(item);
    if (object->ProcessOptions & poEvents) EventList->AddItem(item);
}

void TMainScene::RemoveFromProcessLists(TMainItem* item) {
    // By identity: the item may be half destroyed, and its ProcessOptions may
    // have changed since it was added.
    RenderList->Remove(item);
    AnimationList->Remove(item);
    EventList->Remove(item);
}

void TMainScene::Remove(TMainItem* item) {
    if (!item) return;
    ForgetFpsObject(item);
    TMainObjectList::Remove(item);
    auto slot = std::find(AllObjects.begin(), AllObjects.end(), item);
    if (slot != AllObjects.end()) *slot = nullptr;
    RemoveFromProcessLists(item);
}

void TMainScene::Delete(int index) {
    TMainItem* item = GetItem(index);
    if (item) Remove(item);
}

void TMainScene::FreeItems(int n) {
    if (n < 1) return;
    if (n >= LiveCount()) {
        // Everything: drop the index and the process lists at once, then free
        // in reverse script order.
        TMainObjectList::Clear();
        RenderList->Clear();
        AnimationList->Clear();
        EventList->Clear();
        for (size_t i = AllObjects.size(); i-- > 0;) {
            TMainItem* item = std::exchange(AllObjects[i], nullptr);
            if (!item) continue;
            ForgetFpsObject(item);
            item->Owner = nullptr;
            delete item;
        }
        return;
    }
    for (size_t i = AllObjects.size(); i-- > 0 && n > 0;) {
        TMainItem* item = AllObjects[i];
        if (!item) continue;
        Remove(item);
        item->Owner = nullptr;
        delete item;
        --n;
    }
}

void TMainScene::FreeAll() {
    TResource::FreeAll();
    RenderList->Clear();
    AnimationList->Clear();
    EventList->Clear();
    AllObjects.clear();
}

TMainObject* TMainScene::FindObject(std::string_view path) const {
    if (path.empty()) return nullptr;
    const TMainObjectList* list = this;
    TMainObject* found = nullptr;
    for (std::string_view name : str::Split(path, '/')) {
        if (!list) return nullptr;
        found = list->TMainObjectList::FindObject(name);
        if (!found) return nullptr;
        list = dynamic_cast<const TMainObjectList*>(found);
    }
    return found;
}

std::string RefferenceToStr(const TMainScene* scene, const TMainObject* object) {
    if (!object) return "";
    std::string path = object->Name();
    for (const TMainList* owner = object->Owner; owner != scene; owner = owner->Owner) {
        if (!owner) throw Exception("RefferenceToStr error: Owner is nil!");
        path = owner->Name() + "/" + path;
    }
    return path;
}

ISceneHost* HostOf(const TMainItem& item) { return item.MainScene ? item.MainScene->Application : nullptr; }

TCustomOpenGL* SceneOpenGL(const TMainScene* scene) {
    return scene && scene->Application ? scene->Application->OpenGL() : nullptr;
}

TSceneView SceneView(const TMainScene* scene) {
    return scene && scene->Application ? scene->Application->View() : TSceneView{};
}
