// The real output window on a private X server: the application makes it,
// starts GL on it in its idle step, clears a frame and reads it back.
#include "app/gl_application.h"
#include "platform/null/display_null.h"
#include "platform/null/null_services.h"

#include "../render/xvfb_fixture.h"

#include <X11/Xutil.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

namespace {

// Runs step until done() holds; false when it never did within the deadline.
// Events travel over the window's own connection, and a loaded machine
// (ctest -j, sanitizers) can take seconds to deliver them.
template <class Done, class Step>
bool Eventually(Done done, Step step) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(640, 480));

class X11WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        xvfb::Server& server = xvfb::TheServer();
        ASSERT_TRUE(server.Error.empty() && server.Dpy) << server.Error;
        TGLPlatform p = SystemGLPlatform();
        p.Display = &display;
        app = std::make_unique<TCustomGLApplication>(Null.Get(), p);
        glDisplay = std::make_unique<TCustomGLDisplay>(display);
        window = std::make_unique<TCustomGLWindow>(*p.Windows);
        app->SetDisplay(glDisplay.get());
        app->SetWindow(window.get());
        app->Loaded();
    }

    void TearDown() override {
        if (app) app->Stop();
        // The application goes first: it still detaches from its window.
        app.reset();
        window.reset();
    }

    void IdlePass() {
        auto done = Null.Application.IdleOnce();
        ASSERT_TRUE(done.has_value());
    }

    platform::NullServices Null;
    platform::NullDisplaySettings display;
    std::unique_ptr<TCustomGLApplication> app;
    std::unique_ptr<TCustomGLDisplay> glDisplay;
    std::unique_ptr<TCustomGLWindow> window;
};

TEST_F(X11WindowTest, IdleStepClearsAFrameInTheWindowColour) {
    window->Width = 320;
    window->Height = 240;
    window->Color = 0x0080FF;  // red 255, green 128, blue 0
    std::array<uint8_t, 3> centre{};
    int frames = 0;
    app->OnRender = [&](TCustomGLApplication*, float, bool) {
        ++frames;
        gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.ReadPixels(160, 120, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, centre.data());
    };
    window->CreateHandle();
    ASSERT_NE(window->Handle(), 0u);

    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(xvfb::TheServer().Dpy, static_cast<::Window>(window->Handle()), &a));
    EXPECT_EQ(a.width, 320);
    EXPECT_EQ(a.height, 240);

    IdlePass();
    ASSERT_TRUE(app->OpenGL().Active()) << "GL did not start on the window";
    EXPECT_EQ(frames, 1);
    EXPECT_NEAR(centre[0], 255, 2);
    EXPECT_NEAR(centre[1], 128, 2);
    EXPECT_NEAR(centre[2], 0, 2);
}

// Task bars and window lists show the name; the old property is read by
// older window managers.
TEST_F(X11WindowTest, ATopLevelWindowCarriesItsTitleInBothNameProperties) {
    window->Title = "3D Marivelle";
    window->CreateHandle();
    ASSERT_NE(window->Handle(), 0u);
    Display* d = xvfb::TheServer().Dpy;
    const auto w = static_cast<::Window>(window->Handle());

    char* oldName = nullptr;
    ASSERT_TRUE(XFetchName(d, w, &oldName));
    EXPECT_STREQ(oldName, "3D Marivelle");
    XFree(oldName);

    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 64, False,
                                 XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &value),
              Success);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(value), count), "3D Marivelle");
    EXPECT_EQ(format, 8);
    XFree(value);
}

TEST_F(X11WindowTest, ResizesArriveAsSizeMessages) {
    app->OnRender = [](TCustomGLApplication*, float, bool) {};
    window->CreateHandle();
    IdlePass();
    ASSERT_TRUE(app->OpenGL().Active());
    Display* d = xvfb::TheServer().Dpy;
    XResizeWindow(d, static_cast<::Window>(window->Handle()), 400, 300);
    XSync(d, False);
    EXPECT_TRUE(Eventually([&] { return window->Width == 400; }, [&] { IdlePass(); }));
    EXPECT_EQ(window->Width, 400);
    EXPECT_EQ(window->Height, 300);
}

TEST_F(X11WindowTest, AForeignParentIsFilledAndItsLossStopsGL) {
    Display* d = xvfb::TheServer().Dpy;
    ::Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 150, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);
    window->ParentWindow = parent;
    window->CreateHandle();
    EXPECT_EQ(window->Width, 200);
    EXPECT_EQ(window->Height, 150);
    IdlePass();
    ASSERT_TRUE(app->OpenGL().Active());
    XDestroyWindow(d, parent);
    XSync(d, False);
    EXPECT_TRUE(Eventually([&] { return !window->HandleAllocated(); }, [&] { IdlePass(); }));
    EXPECT_FALSE(window->HandleAllocated());
    EXPECT_FALSE(app->OpenGL().Active());
}

}  // namespace

namespace {

TEST_F(X11WindowTest, ClientMessagesOtherThanDeleteAreIgnoredAndDeleteIsAClose) {
    window->CreateHandle();
    int closes = 0;
    window->CloseRequestedHook = [&] {
        ++closes;
        return true;  // swallowed: the window stays
    };
    Display* d = xvfb::TheServer().Dpy;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = static_cast<::Window>(window->Handle());
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "SOMETHING_ELSE", False));
    XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    XSync(d, False);
    EXPECT_TRUE(Eventually([&] { return closes > 0; }, [&] { window->ProcessMessages(); }));
    // Both messages were sent before the sync: the second is in by now.
    window->ProcessMessages();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(window->HandleAllocated());
}

}  // namespace
