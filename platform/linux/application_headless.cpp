#include "platform/application_hooks.h"
#include "platform/message_reporter.h"

namespace platform {
namespace {

class HeadlessApplication final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override { Handlers = handlers; }
    void SetIdleHandler(std::function<void(bool&)> idle) override { Handlers.Idle = std::move(idle); }

    void Run() override {
        while (!IsTerminated) {
            auto idle = Handlers.Idle;
            // No window, so no message could ever wake a waiting loop.
            if (!idle) break;
            bool done = true;
            try {
                idle(done);
            } catch (const std::exception& e) {
                auto handler = Handlers.Exception;
                if (handler) {
                    handler(e);
                } else {
                    SystemMessageReporter().ShowError(AppTitle, e.what());
                    IsTerminated = true;
                }
            }
            if (done) break;
        }
    }
    void Terminate() override { IsTerminated = true; }
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int) override { IsTerminated = true; }

    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }

    void SetShowMainForm(bool) override {}
    bool HasMainForm() const override { return false; }
    bool MainFormIsTopLevel() const override { return false; }
    Size MainFormSize() const override { return {}; }
    void SetMainFormPosition(int32_t, int32_t) override {}
    void CloseMainForm() override {}
    void HideMainForm() override {}
    void ClearMainFormHandlers() override {}
    void HideApplicationWindow() override {}
    Size PrimaryScreenSize() const override { return {}; }
    void ShowCursor(bool) override {}

private:
    ApplicationHandlers Handlers;
    std::string AppTitle;
    bool IsTerminated = false;
};

}  // namespace

IApplicationHooks& SystemApplication() {
    static HeadlessApplication application;
    return application;
}

}  // namespace platform
