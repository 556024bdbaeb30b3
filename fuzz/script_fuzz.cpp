// Loads a scene from the input bytes as its script ("fuzz.gsc" among the
// embedded files, so a child naming that source reloads the same bytes),
// runs a frame's events and animation, and writes the tree back to a script
// in memory and loads that again.
#include "platform/resources.h"
#include "core/archive.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/objects.h"
#include "scene/registry.h"

#include <cstddef>
#include <cstdint>

namespace {

// One key of every value kind.
class TFuzzObject : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TFuzzObject"; }

    void ReadProperties(TResourceLoader& l) override {
        TMainSceneObject::ReadProperties(l);
        Flag = l.ReadBool("Flag", Flag);
        Number = l.ReadInteger("Number", Number);
        Real = l.ReadFloat("Real", Real);
        Text = l.ReadString("Text", Text);
        Color = l.ReadColor("Color", Color);
        ByteColor = l.ReadByteColor("ByteColor", ByteColor);
        Position = l.ReadVector("Position", Position);
        Link = l.ReadReference("Link", Link);
        FileName = l.ReadFileName("FileName", ".\\", FileName);
        if (l.ReadBool("Rename", false)) SetName(Text);
    }
    void WriteProperties(TResourceLoader& l) override {
        TMainSceneObject::WriteProperties(l);
        l.WriteBool("Flag", Flag);
        l.WriteInteger("Number", Number);
        l.WriteFloat("Real", Real);
        l.WriteString("Text", Text);
        l.WriteColor("Color", Color);
        l.WriteByteColor("ByteColor", ByteColor);
        l.WriteVector("Position", Position);
        l.WriteReference("Link", Link);
        l.WriteFileName("FileName", ".\\", FileName);
    }
    void Animate(float) override { ++Frames; }

    bool Flag = false;
    int32_t Number = 0;
    float Real = 0;
    std::string Text;
    TColor4f Color;
    TByteColor ByteColor = 0;
    TVector3f Position;
    TMainObject* Link = nullptr;
    std::string FileName;
    int Frames = 0;
};

std::string SaveToText(TMainScene& scene) {
    TResourceLoader writer;
    writer.Scene = &scene;
    writer.Section = scene.Name();
    writer.CreateForWriting();  // no file name: nothing reaches the disk
    writer.WriteHeader(scene);
    scene.WriteProperties(writer);
    writer.SaveChildren(scene);
    return writer.Script()->Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        TheClassRegistry().Register<TFuzzObject>("TFuzzObject");
        TheResourceReader().Mode = 2;  // embedded files: never the disk
        return true;
    }();
    (void)ready;

    RegisterRawResource("fuzz_gsc", data, size);
    std::string saved;
    {
        TMainScene scene;
        scene.LoadSources = lsArchive;
        scene.SourceName = "fuzz.gsc";
        try {
            scene.LoadFromFile();
        } catch (const Exception&) {
        }
        scene.ProcessEvents(0.02f);
        scene.Animate(0.02f);
        try {
            saved = SaveToText(scene);
        } catch (const Exception&) {
            saved.clear();  // a reference through a list without owners
        }
    }
    UnregisterRawResource("fuzz_gsc");

    if (!saved.empty()) {
        TMainScene again;
        again.LoadSources = lsArchive;
        try {
            TResourceLoader loader;
            loader.Scene = &again;
            loader.Section = again.Name();
            loader.OpenText(saved);
            again.ReadProperties(loader);
            loader.LoadChildren(again);
        } catch (const Exception&) {
        }
    }
    return 0;
}
