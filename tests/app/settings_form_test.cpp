// The settings dialog's presenter over the real embedded scene and world,
// with the recording dialog view standing in for the toolkit: the person's
// moves reach the world at once, and only OK reaches the store.
#include "app/program.h"
#include "app/settings_form.h"

#include "core/errors.h"
#include "platform/null/dialog_view_null.h"
#include "platform/null/display_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/gl_window_null.h"
#include "platform/null/null_services.h"
#include "render/gl_recorder.h"
#include "render/recording_context.h"
#include "test_support.h"
#include "world/underwater_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

namespace wm = platform::wm;

// One run of the program in the configuration role, with the store, the
// monitors and the window system kept from run to run.
class SettingsFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        library.Available.insert(platform::GLLibraryFileName(false));
        OfferGLTable(library, false);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_RENDERER] = "Test Renderer";
        rec.Strings[GL_VENDOR] = "Test Vendor";
        rec.Strings[GL_EXTENSIONS] = "";
        binding.Formats = {WindowPixelFormat()};
        display.Modes = {{640, 480, 16, 60}, {1280, 720, 32, 60}};
        display.MonitorList = {{"a", 0, 0, 1280, 720, true}};
        windows.ForeignSizes[0x5000] = {400, 300};
    }

    // Starts a run and passes idle until the dialog is filled.
    void Open() {
        form.reset();
        program.reset();
        Null.Application.IsTerminated = false;
        Null.Application.Log.clear();
        TProgramOptions options = ParseProgramOptions({"-c"});
        ASSERT_EQ(options.Error, "");
        program = std::make_unique<TAquariumProgram>(options, ".EXE", Null.Get(),
                                                     TGLPlatform{&library, &binding, &windows, &display});
        form = std::make_unique<TFormSettings>(*program, dialogs);
        form->Show();
        program->Loaded();
        for (int i = 0; i < 10 && !form->DialogReady(); ++i) Idle();
        ASSERT_TRUE(form->DialogReady());
    }
    void Idle() { Null.Application.IdleOnce(); }
    platform::RecordingDialogView& View() { return dialogs.Dialog("FormSettings"); }
    TUnderWaterWorld& World() { return *program->World(); }
    int32_t IndexOf(const std::string& combo, const std::string& text) {
        const std::vector<std::string> items = View().Items(combo);
        const auto it = std::find(items.begin(), items.end(), text);
        return it == items.end() ? -1 : static_cast<int32_t>(it - items.begin());
    }

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

TEST_F(SettingsFormTest, TheFilledDialogShowsTheWorldAndItsPanelHoldsTheGLWindow) {
    ASSERT_NO_FATAL_FAILURE(Open());
    platform::RecordingDialogView& v = View();
    EXPECT_EQ(v.Caption(), "3D Marivelle v4.0");
    EXPECT_TRUE(v.FormEnabled());
    EXPECT_EQ(v.Items("ComboBoxBackgrounds"),
              (std::vector<std::string>{"Salt Water - 1", "Salt Water - 2", "Salt Water - 3", "Fresh Water - 1",
                                        "Fresh Water - 2", "Fresh Water - 3"}));
    EXPECT_EQ(v.ItemIndex("ComboBoxBackgrounds"), World().WaterBackgroundIndex());
    EXPECT_EQ(v.Items("CheckListBoxFishes"), World().SchoolNames);
    EXPECT_EQ(v.Position("TrackBarFishCount"), 20);
    EXPECT_EQ(v.Text("LabelFishCount"), "20");
    EXPECT_EQ(v.Text("LabelBubblesCount"), std::to_string(World().GetBubbleCount()));
    EXPECT_FALSE(v.Visible("ButtonFeedBack")) << "no issue page is configured";
    ASSERT_FALSE(windows.Created.empty());
    EXPECT_EQ(windows.Created.back().Parent, 0x5000u) << "the GL window lives in the preview panel";
    EXPECT_EQ(windows.Created.back().Width, 400);

    // A school unticked leaves the water at once; the slider shares the fish anew.
    const std::string first = v.Items("CheckListBoxFishes").front();
    v.UserSetItemChecked("CheckListBoxFishes", 0, false);
    EXPECT_FALSE(World().IsSchoolVisible(first));
    v.UserSetChecked("CheckBoxLights", !World().UseLights());
    EXPECT_EQ(World().UseLights(), v.Checked("CheckBoxLights"));
    v.UserSetItemIndex("ComboBoxDirection", 2);
    EXPECT_EQ(World().FishDirection(), fdBoth);

    // The about box names the GL it draws with; help without a help page says so.
    v.UserClick("ButtonAbout");
    ASSERT_EQ(v.Abouts.size(), 1u);
    EXPECT_EQ(v.Abouts[0].ProgramName, "3D Marivelle");
    EXPECT_EQ(v.Abouts[0].Version, "4.0");
    for (const char* text : {"1.4 Test", "Test Renderer", "Test Vendor"})
        EXPECT_NE(v.Abouts[0].Comments.find(text), std::string::npos) << v.Abouts[0].Comments;
    EXPECT_EQ(v.Abouts[0].License, "Proprietary");
    v.UserClick("ButtonHelp");
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_NE(Null.Messages.Errors[0].second.find("help page"), std::string::npos);
}

TEST_F(SettingsFormTest, ABackgroundsNameChoosesTheWaterAndTheSchoolsThatLiveInIt) {
    ASSERT_NO_FATAL_FAILURE(Open());
    platform::RecordingDialogView& v = View();
    const std::vector<std::string> saltSchools = World().SchoolNames;

    v.UserSetItemIndex("ComboBoxBackgrounds", IndexOf("ComboBoxBackgrounds", "Fresh Water - 2"));
    EXPECT_EQ(World().WaterBackgroundIndex(), 4);
    EXPECT_EQ(World().FishTypeIndex(), 1);
    EXPECT_NE(World().SchoolNames, saltSchools);
    EXPECT_EQ(v.Items("CheckListBoxFishes"), World().SchoolNames) << "the fish list follows the shown schools";

    v.UserSetItemIndex("ComboBoxBackgrounds", IndexOf("ComboBoxBackgrounds", "Salt Water - 1"));
    EXPECT_EQ(World().WaterBackgroundIndex(), 0);
    EXPECT_EQ(World().FishTypeIndex(), 0);
    EXPECT_EQ(v.Items("CheckListBoxFishes"), saltSchools);
}

TEST_F(SettingsFormTest, CancelForgetsTheMovedSliderWhileOkStoresItForTheNextRun) {
    ASSERT_NO_FATAL_FAILURE(Open());
    View().UserSetPosition("TrackBarFishCount", 55);
    EXPECT_EQ(World().FishCount(), 55) << "the running scene changes at once";
    EXPECT_EQ(View().Text("LabelFishCount"), "55");
    View().UserClick("ButtonCancel");
    EXPECT_TRUE(Null.Application.Logged("CloseMainForm"));

    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(World().FishCount(), 20) << "Cancel wrote nothing";
    EXPECT_EQ(View().Position("TrackBarFishCount"), 20);
    View().UserSetPosition("TrackBarFishCount", 55);
    View().UserClick("ButtonOk");
    EXPECT_TRUE(Null.Application.Logged("CloseMainForm"));

    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(World().FishCount(), 55);
    EXPECT_EQ(View().Position("TrackBarFishCount"), 55);
}

TEST_F(SettingsFormTest, DualViewDrawsTwoScreensInTheFullScreenPreviewAndOneInThePanel) {
    display.MonitorList = {{"a", 0, 0, 1280, 720, true}, {"b", 1280, 0, 1280, 720, false}};
    ASSERT_NO_FATAL_FAILURE(Open());
    program->GLWindow().Monitor = 2;  // "Dual View": the entry after the monitors
    Idle();
    EXPECT_EQ(World().ScreenCount(), 1) << "a window is one screen whatever the choice";

    View().UserClick("ButtonPreview");
    ASSERT_TRUE(program->IsFullScreen());
    Idle();
    EXPECT_EQ(World().ScreenCount(), 2);

    // Past the settling moves, a key brings the dialog back rather than ending.
    windows.Post(program->GLWindow().Handle(), wm::KeyDown, 'A');
    Idle();
    EXPECT_FALSE(program->IsFullScreen());
    EXPECT_FALSE(Null.Application.Terminated());
    Idle();
    Idle();
    EXPECT_EQ(World().ScreenCount(), 1);
    EXPECT_EQ(windows.Created.back().Parent, 0x5000u) << "back inside the panel";
}

TEST_F(SettingsFormTest, AFailedFillLeavesTheFormUsable) {
    ASSERT_NO_FATAL_FAILURE(Open());
    platform::RecordingDialogView& v = View();
    program->Stop();  // the scene is gone: nothing to fill from
    ASSERT_EQ(program->World(), nullptr);
    v.Log.clear();
    EXPECT_NE(ErrorOf([&] { form->FillDialog(); }), "");
    EXPECT_EQ(v.Log, (std::vector<std::string>{"FormEnabled(0)", "FormEnabled(1)"}));
    EXPECT_TRUE(v.FormEnabled());
    EXPECT_TRUE(form->DialogReady());
}

}  // namespace
