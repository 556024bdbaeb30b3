// The advanced settings dialog over the real embedded scene and world, run
// from the main dialog's button with the recording dialog view standing in
// for the toolkit: OK applies in an order the textures depend on, the
// desktop check locks the mode, and Cancel keeps only the sound changes.
#include "app/advanced_settings_form.h"
#include "app/program.h"
#include "app/settings_form.h"

#include "platform/null/audio_output_null.h"
#include "platform/null/dialog_view_null.h"
#include "platform/null/display_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/gl_window_null.h"
#include "platform/null/null_services.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "render/recording_context.h"
#include "scene/scene_sound.h"
#include "scene/scene_textures.h"
#include "sound/device.h"
#include "world/clock.h"
#include "world/underwater_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using platform::RecordingDialogView;

class AdvancedSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SoundDevice().SetOutput(Audio);
        library.Available.insert(platform::GLLibraryFileName(false));
        library.Available.insert(platform::GLLibraryFileName(true));
        OfferGLTable(library, false);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_EXTENSIONS] = "";
        binding.Formats = {WindowPixelFormat()};
        display.Modes = {{640, 480, 16, 60}, {800, 600, 16, 60}, {1024, 768, 32, 60}, {1280, 720, 32, 60}};
        display.MonitorList = {{"a", 0, 0, 1280, 720, true}, {"b", 1280, 0, 1280, 720, false}};
        windows.ForeignSizes[0x5000] = {400, 300};

        program = std::make_unique<TAquariumProgram>(ParseProgramOptions({"-c"}), ".EXE", Null.Get(),
                                                     TGLPlatform{&library, &binding, &windows, &display});
        form = std::make_unique<TFormSettings>(*program, dialogs);
        form->Show();
        program->Loaded();
        for (int i = 0; i < 10 && !form->DialogReady(); ++i) Idle();
        ASSERT_TRUE(form->DialogReady());
        // A few frames, so that the textures the scene draws are in GL.
        for (int i = 0; i < 3; ++i) Idle();
    }
    void TearDown() override {
        form.reset();
        program.reset();
        SoundDevice().SetActive(false);
        SoundDevice().SetOutput(platform::SystemAudioOutput());
    }

    void Idle() { Null.Application.IdleOnce(); }
    // Clicks "Advanced..." in the main dialog; `person` acts in the advanced
    // dialog while it runs modally and ends it.
    void RunAdvanced(std::function<void(RecordingDialogView&)> person) {
        bool ran = false;
        dialogs.ModalRuns["FormAdvancedSettings"] = [&](RecordingDialogView& v) {
            ran = true;
            EXPECT_EQ(v.ModalOwner, &dialogs.Dialog("FormSettings"));
            person(v);
            return platform::mrNone;
        };
        dialogs.Dialog("FormSettings").UserClick("ButtonAdvanced");
        EXPECT_TRUE(ran) << "the advanced dialog ran modally";
        EXPECT_FALSE(dialogs.Has("FormAdvancedSettings")) << "and was freed";
    }
    static int32_t IndexOf(const RecordingDialogView& v, const std::string& control, const std::string& text) {
        const std::vector<std::string> items = v.Items(control);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == text) return static_cast<int32_t>(i);
        throw std::out_of_range(text + " is not in " + control);
    }

    template <class T>
    T& Find(const std::string& path) {
        auto* object = dynamic_cast<T*>(program->Scene()->FindObject(path));
        if (!object) throw std::out_of_range("no " + path);
        return *object;
    }
    TSceneTextureList& Textures() { return Find<TSceneTextureList>("Textures"); }
    // The GL textures of the scene's textures now, and whether each is
    // uploaded.
    std::map<TGLTexture*, bool> GLTextures() {
        std::map<TGLTexture*, bool> result;
        for (int i = 0; i < Textures().GetCount(); ++i)
            if (TSceneTexture* t = Textures().Texture(i); t && t->GLTexture())
                result[t->GLTexture()] = t->GLTexture()->Uploaded();
        return result;
    }

    platform::RecordingAudioOutput Audio;
    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    platform::NullGLWindows windows;
    platform::NullDisplaySettings display;
    platform::NullServices Null;
    platform::RecordingDialogSystem dialogs;
    std::unique_ptr<TAquariumProgram> program;
    std::unique_ptr<TFormSettings> form;
};

TEST_F(AdvancedSettingsTest, OkFreesTexturesOnANewQualityReuploadsThemOnANewColorFormatAndElseLeavesThem) {
    const std::map<TGLTexture*, bool> loaded = GLTextures();
    ASSERT_GE(std::count_if(loaded.begin(), loaded.end(), [](const auto& t) { return t.second; }), 2)
        << "the drawn textures are in GL";
    const TTextureQuality quality = Textures().Quality();
    const TTextureColorBit colorBit = Textures().ColorBit();

    // OK with nothing changed touches no texture.
    RunAdvanced([](RecordingDialogView& v) { v.UserClick("ButtonOk"); });
    EXPECT_EQ(GLTextures(), loaded);

    // Only the colour format: the same textures, their texels sent again.
    const TTextureColorBit otherBit = colorBit == cb16bit ? cb32bit : cb16bit;
    RunAdvanced([&](RecordingDialogView& v) {
        v.UserSetItemIndex("ComboBoxTextures", otherBit);
        v.UserClick("ButtonOk");
    });
    EXPECT_EQ(Textures().ColorBit(), otherBit);
    EXPECT_EQ(Textures().Quality(), quality);
    const std::map<TGLTexture*, bool> reconfigured = GLTextures();
    ASSERT_EQ(reconfigured.size(), loaded.size()) << "no texture was freed";
    for (const auto& [texture, uploaded] : reconfigured) {
        EXPECT_EQ(loaded.count(texture), 1u);
        EXPECT_FALSE(uploaded) << "each uploads again on its next use";
    }
    for (int i = 0; i < 3; ++i) Idle();

    // A new quality (with a new colour format too): every GL texture goes,
    // to be made again at the new size.
    RunAdvanced([&](RecordingDialogView& v) {
        v.UserSetItemIndex("ComboBoxQuality", tqLow);
        v.UserSetItemIndex("ComboBoxTextures", colorBit);
        v.UserClick("ButtonOk");
    });
    EXPECT_EQ(Textures().Quality(), tqLow);
    EXPECT_EQ(Textures().ColorBit(), colorBit);
    for (const auto& [texture, uploaded] : GLTextures())
        EXPECT_EQ(loaded.count(texture), 0u) << "an old texture is left";
    for (int i = 0; i < Textures().GetCount(); ++i)
        if (TSceneTexture* t = Textures().Texture(i)) {
            EXPECT_EQ(t->GLTexture(), nullptr) << t->Name();
        }
    Idle();
    EXPECT_FALSE(GLTextures().empty()) << "the next frame makes them again";
}

TEST_F(AdvancedSettingsTest, OkAppliesEveryControlAndTheMonitorBoxIsTheWindowsMonitorPlusOne) {
    program->GLDisplay().DesktopOnly = false;
    TGLClock& clock = Find<TGLClock>("GLClock");
    const TByteColor before = clock.ClockColor;
    program->GLWindow().Monitor = 1;
    RunAdvanced([&](RecordingDialogView& v) {
        EXPECT_EQ(v.Caption(), "Advanced Settings");
        EXPECT_EQ(v.Items("ComboBoxMultiMonitors"), (std::vector<std::string>{"Primary Monitor", "1 - Monitor",
                                                                               "2 - Monitor", "Dual View",
                                                                               "Virtual Desktop"}));
        EXPECT_EQ(v.ItemIndex("ComboBoxMultiMonitors"), 2);
        EXPECT_EQ(v.Items("ComboBoxPowerOff").size(), 16u);
        EXPECT_EQ(v.Items("ComboBoxPowerOff")[11], "1 hour");
        EXPECT_EQ(v.ItemIndex("ComboBoxRenderer"), 0);
        EXPECT_EQ(v.Items("ComboBoxDepth"), (std::vector<std::string>{"High Color(16 bit)", "True Color(32 bit)"}));
        EXPECT_EQ(v.Color("ShapeColor"), clock.ClockColor & 0x00FFFFFFu);
        EXPECT_EQ(v.Items("ComboBoxRenderScale"), (std::vector<std::string>{"Full", "Half"}));
        EXPECT_EQ(v.ItemIndex("ComboBoxRenderScale"), 0);

        v.UserSetItemIndex("ComboBoxMultiMonitors", IndexOf(v, "ComboBoxMultiMonitors", "Virtual Desktop"));
        v.UserSetItemIndex("ComboBoxPowerOff", 11);
        v.UserSetItemIndex("ComboBoxMonitorOff", 4);
        v.UserSetItemIndex("ComboBoxClockMode", 2);
        v.ColorChosen = true;
        v.ChosenColor = 0x00336699;
        v.UserClick("ShapeColor");
        EXPECT_EQ(v.Color("ShapeColor"), 0x00336699u);
        EXPECT_EQ(clock.ClockColor, before) << "the clock waits for OK";
        v.UserSetChecked("CheckBoxRunAsProg", true);
        v.UserSetChecked("CheckBoxMouseMove", true);
        v.UserSetChecked("CheckBoxFPS", true);
        v.UserSetChecked("CheckBoxFixedFPS", true);
        v.UserSetChecked("CheckBoxWaitSync", false);
        v.UserSetItemIndex("ComboBoxDepth", IndexOf(v, "ComboBoxDepth", "High Color(16 bit)"));
        v.UserSetItemIndex("ComboBoxResolution", IndexOf(v, "ComboBoxResolution", "800x600"));
        v.UserSetItemIndex("ComboBoxRenderer", 1);
        v.UserSetItemIndex("ComboBoxRenderScale", 1);
        v.UserClick("ButtonOk");
    });
    EXPECT_EQ(program->Viewport().RenderScale, 50);
    EXPECT_EQ(program->GLWindow().Monitor, 3) << "\"Virtual Desktop\" is the monitor count plus one";
    EXPECT_EQ(program->PowerOffIndex(), 11);
    EXPECT_EQ(program->PowerOffTime(), 3600.0f);
    EXPECT_EQ(program->MonitorOffIndex(), 4);
    EXPECT_EQ(clock.ClockMode, 2);
    EXPECT_TRUE(clock.Visible());
    EXPECT_EQ(clock.ClockColor, (before & 0xFF000000u) | 0x00336699u) << "the clock keeps its own alpha";
    EXPECT_TRUE(program->RunAsProgram);
    EXPECT_TRUE(program->MouseMoveExit);
    EXPECT_TRUE(program->Scene()->FPSShown());
    EXPECT_TRUE(program->FixedFPS);
    EXPECT_FALSE(program->OpenGL().WaitSync);
    EXPECT_EQ(program->GLDisplay().FullScreenMode().ModeText(), "800x600x16");
    EXPECT_EQ(program->OpenGL().RendererKind(), rkDirectX);
    for (int i = 0; i < 3 && !program->OpenGL().Active(); ++i) Idle();
    EXPECT_TRUE(program->OpenGL().Active()) << "GL runs again on the other library";
    EXPECT_EQ(library.LoadedName, platform::GLLibraryFileName(true));

    // The choice is kept for the next time the dialog opens.
    RunAdvanced([&](RecordingDialogView& v) {
        EXPECT_EQ(v.ItemIndex("ComboBoxMultiMonitors"), 4);
        EXPECT_EQ(v.ItemIndex("ComboBoxResolution"), IndexOf(v, "ComboBoxResolution", "800x600"));
        EXPECT_EQ(v.ItemIndex("ComboBoxClockMode"), 2);
        EXPECT_EQ(v.ItemIndex("ComboBoxRenderScale"), 1);
        v.UserClose();
    });
}

TEST_F(AdvancedSettingsTest, DesktopResolutionLocksTheModeAndCancelKeepsOnlyTheSoundChanges) {
    TGLDisplay& screen = program->GLDisplay();
    screen.DesktopOnly = false;
    screen.FullScreenMode().Set(1280, 720, 32);
    const int32_t powerOff = program->PowerOffIndex();
    const TTextureQuality quality = Textures().Quality();
    TSceneSound& waves = Find<TSceneSound>("Sounds/Waves Sound");
    ASSERT_NE(waves.Sound(), nullptr);
    ASSERT_TRUE(waves.Visible());

    RunAdvanced([&](RecordingDialogView& v) {
        ASSERT_TRUE(v.Enabled("ComboBoxDepth"));
        EXPECT_EQ(v.Items("ComboBoxResolution"), (std::vector<std::string>{"1024x768", "1280x720"}));
        EXPECT_EQ(v.ItemIndex("ComboBoxResolution"), 1);

        // A new depth refills the sizes and moves the mode at once.
        v.UserSetItemIndex("ComboBoxDepth", IndexOf(v, "ComboBoxDepth", "High Color(16 bit)"));
        EXPECT_EQ(v.Items("ComboBoxResolution"), (std::vector<std::string>{"640x480", "800x600"}));
        EXPECT_EQ(screen.FullScreenMode().ColorDepth(), 16);

        v.UserSetChecked("CheckBoxDesktop", true);
        EXPECT_TRUE(screen.DesktopOnly);
        EXPECT_FALSE(v.Enabled("ComboBoxDepth"));
        EXPECT_FALSE(v.Enabled("ComboBoxResolution"));
        EXPECT_THROW(v.UserSetItemIndex("ComboBoxDepth", 1), std::logic_error) << "the person cannot reach it";
        // Even an event that gets through leaves the mode alone.
        v.SetItemIndex("ComboBoxDepth", IndexOf(v, "ComboBoxDepth", "True Color(32 bit)"));
        v.Events.Change("ComboBoxDepth");
        EXPECT_EQ(screen.FullScreenMode().ColorDepth(), 16);
        EXPECT_EQ(v.Items("ComboBoxResolution"), (std::vector<std::string>{"640x480", "800x600"}));

        // Sounds act at once.
        const int32_t item = IndexOf(v, "CheckListBoxSounds", "Waves Sound");
        v.UserSelect("CheckListBoxSounds", item);
        EXPECT_EQ(v.Text("LabelVolume"), "Waves Sound Volume");
        EXPECT_EQ(v.Position("TrackBarSoundVolume"), waves.Sound()->Volume());
        v.UserSetPosition("TrackBarSoundVolume", 30);
        EXPECT_EQ(v.Text("LabelSoundVolume"), "30");
        EXPECT_EQ(waves.Sound()->Volume(), 30);
        v.UserSetItemChecked("CheckListBoxSounds", item, false);
        EXPECT_FALSE(waves.Visible());
        EXPECT_FALSE(waves.Sound()->Playing());

        v.UserSetItemIndex("ComboBoxPowerOff", powerOff == 5 ? 6 : 5);
        v.UserSetItemIndex("ComboBoxQuality", quality == tqLow ? tqHigh : tqLow);
        v.UserSetChecked("CheckBoxRunAsProg", !program->RunAsProgram);
        v.UserClick("ButtonCancel");
    });
    EXPECT_FALSE(screen.DesktopOnly);
    EXPECT_EQ(screen.FullScreenMode().ModeText(), "1280x720x32") << "the live display changes are undone";
    EXPECT_EQ(program->PowerOffIndex(), powerOff);
    EXPECT_EQ(Textures().Quality(), quality);
    EXPECT_FALSE(program->RunAsProgram);
    EXPECT_FALSE(waves.Visible()) << "sound changes stay";
    EXPECT_EQ(waves.Sound()->Volume(), 30);

    // The unticked sound opens unticked; ticking it plays it again.
    RunAdvanced([&](RecordingDialogView& v) {
        const int32_t item = IndexOf(v, "CheckListBoxSounds", "Waves Sound");
        EXPECT_FALSE(v.ItemChecked("CheckListBoxSounds", item));
        v.UserSetItemChecked("CheckListBoxSounds", item, true);
        v.UserClose();
    });
    EXPECT_TRUE(waves.Visible());
    Idle();
    EXPECT_TRUE(waves.Sound()->Playing());
}

}  // namespace
