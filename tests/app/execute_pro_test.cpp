// The process launcher: how a command line splits into a program and its
// parameters, and what reaches the system when it runs.
#include "app/execute_pro.h"

#include "app/application.h"
#include "platform/null/null_services.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineSplit, TheProgramEndsAtTheFirstBlankAfterADotInItsName) {
    struct Case {
        const char* Line;
        const char* File;
        const char* Parameters;
        const char* Folder;
    };
    const Case cases[] = {
        {"/opt/m/marivelle.EXE -s", "/opt/m/marivelle.EXE", "-s", "/opt/m/"},
        // Blanks in folders, slashes, colons and dots in parameters.
        {"/opt/My Fish/marivelle.EXE /p 5678", "/opt/My Fish/marivelle.EXE", "/p 5678", "/opt/My Fish/"},
        {"/opt/m/marivelle.EXE /c:1234 film.jpg", "/opt/m/marivelle.EXE", "/c:1234 film.jpg", "/opt/m/"},
        {"/home/a.b/run x.y", "/home/a.b/run x.y", "", "/home/a.b/"},  // the dotted folder is no name
        // No arguments: the saver's line ends in a blank.
        {"/opt/m/marivelle.EXE ", "/opt/m/marivelle.EXE", "", "/opt/m/"},
        {"readme.txt", "readme.txt", "", ""},
        {"/usr/bin/marivelle --help", "/usr/bin/marivelle --help", "", "/usr/bin/"},  // no dot: all of it
    };
    for (const Case& c : cases) {
        const TCommandLineParts parts = SplitCommandLine(c.Line);
        EXPECT_EQ(parts.FileName, c.File) << c.Line;
        EXPECT_EQ(parts.Parameters, c.Parameters) << c.Line;
        EXPECT_EQ(parts.Folder, c.Folder) << c.Line;
    }
}

class ExecuteProTest : public ::testing::Test {
protected:
    platform::NullServices Null;
    TCustomApplicationPro app{Null.Get()};
    TExecutePro launcher{app, Null.Processes, Null.Clock};
};

TEST_F(ExecuteProTest, ProgramsStartAsProcessesDocumentsOpenWithTheDesktopAndFailuresAreReportedNotRaised) {
    launcher.SetCommandLine("/opt/m/viewer.exe --big picture.jpg");
    launcher.Priority = epHigh;
    launcher.Wait = false;
    launcher.Execute();
    ASSERT_EQ(Null.Processes.Started.size(), 1u);
    const platform::ProcessStart& start = Null.Processes.Started[0];
    EXPECT_EQ(start.File, "/opt/m/viewer.exe");
    EXPECT_EQ(start.Parameters, "--big picture.jpg");
    EXPECT_EQ(start.Directory, "/opt/m/") << "the program's folder, as none was given";
    EXPECT_EQ(start.PriorityClass, 0x80u);
    EXPECT_EQ(start.ShowCommand, 6u) << "minimized unless asked otherwise";

    TExecutePro opener(app, Null.Processes, Null.Clock);
    opener.SetCommandLine("/srv/doc/Help.html");
    opener.Execute();
    EXPECT_EQ(Null.Processes.Opened, std::vector<std::string>{"/srv/doc/Help.html"});
    EXPECT_EQ(Null.Processes.Started.size(), 1u) << "a document is opened, never run";

    Null.Processes.CreateError = "No such file or directory";
    TExecutePro failing(app, Null.Processes, Null.Clock);
    failing.Mode = emProcess;
    failing.DefaultDirectory = "/tmp/";
    failing.SetCommandLine("/nowhere/x.EXE -s");
    EXPECT_NO_THROW(failing.Execute());
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_EQ(Null.Messages.Errors[0].second,
              "TExecutePro.ProcessExecute error:  CommandLine: /nowhere/x.EXE -s DefaultDirectory: /tmp/ Message: "
              "No such file or directory");
}

}  // namespace
