// Display modes: the modes the monitor offers, grouped by colour depth for
// the settings dialog, and the switch to the chosen full-screen mode and
// back to the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class IDisplaySettings;
class IApplicationHooks;
}  // namespace platform

struct TVideoMode {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t Frequency = 0;
};

class TVideoModesList {
public:
    explicit TVideoModesList(platform::IDisplaySettings& display);
    ~TVideoModesList();
    TVideoModesList(const TVideoModesList&) = delete;
    TVideoModesList& operator=(const TVideoModesList&) = delete;

    void EnumModes();
    // Merges a mode of known size and depth (keeping the higher frequency)
    // or appends it when the system accepts it in a test change.
    void AddMode(const TVideoMode& mode);
    int FindMode(int32_t width, int32_t height, int32_t bits) const;
    const TVideoMode& GetCurrentMode();
    bool SetMode(int32_t width, int32_t height, int32_t bits);
    void RestoreMode();

    int Count() const { return static_cast<int>(FModes.size()); }
    TVideoMode Items(int i) const { return FModes.at(static_cast<size_t>(i)); }
    const TVideoMode& DesktopMode() const { return FDesktopMode; }
    const TVideoMode& LastMode() const { return FLastMode; }
    bool ModeActive() const { return FModeActive; }
    bool ModeChanged() const { return FModeChanged; }

private:
    platform::IDisplaySettings* Display;
    TVideoMode FDesktopMode;
    TVideoMode FLastMode;
    bool FModeActive = false;
    std::vector<TVideoMode> FModes;
    bool FModeChanged = false;
};

// A mode as colour depth plus packed size (width in the high 16 bits,
// height in the low 16).
class TScreenMode {
public:
    TScreenMode() = default;
    TScreenMode(int32_t width, int32_t height, int32_t depth);
    virtual ~TScreenMode() = default;
    TScreenMode(const TScreenMode&) = delete;
    TScreenMode& operator=(const TScreenMode&) = delete;

    virtual void Changed() {}

    int32_t ColorDepth() const { return FColorDepth; }
    void SetColorDepth(int32_t depth);
    int32_t ScreenSize() const { return FScreenSize; }
    void SetScreenSize(int32_t size);
    int32_t Width() const { return static_cast<int32_t>(static_cast<uint32_t>(FScreenSize) >> 16); }
    int32_t Height() const { return FScreenSize & 0xFFFF; }

    void Set(int32_t width, int32_t height, int32_t depth);
    void SetSize(int32_t width, int32_t height);
    // Copies depth and size as they are, without validation.
    void Assign(const TScreenMode& source);

    std::string SizeText() const;   // 640x480
    std::string ModeText() const;   // 640x480x16
    std::string DepthText() const;  // High Color(16 bit)
    // Raise EConvertError when a number is not one.
    void SetSizeText(std::string_view text);
    void SetModeText(std::string_view text);
    void SetDepthText(std::string_view text);

    static int32_t PackSize(int32_t width, int32_t height);
    static std::string DepthName(int32_t depth);

protected:
    int32_t FColorDepth = 0;
    int32_t FScreenSize = 0;
};

class TCustomDisplayControl;

// The full-screen mode; once the depth groups exist it always names an
// offered mode.
class TFullScreenMode : public TScreenMode {
public:
    explicit TFullScreenMode(TCustomDisplayControl& owner);
    void Changed() override;

private:
    TCustomDisplayControl* Owner;
};

class TScreenModes {
public:
    void Add(int32_t width, int32_t height, int32_t depth);
    int Find(int32_t width, int32_t height, int32_t depth) const;
    int Count() const { return static_cast<int>(Items.size()); }
    TScreenMode& operator[](int i) { return *Items.at(static_cast<size_t>(i)); }
    const TScreenMode& operator[](int i) const { return *Items.at(static_cast<size_t>(i)); }
    void Clear() { Items.clear(); }

private:
    std::vector<std::unique_ptr<TScreenMode>> Items;
};

struct TColorDepthMode {
    int32_t Depth = 0;
    TScreenModes Modes;
};

// Depth groups in the order the depths were first met.
class TColorDepthModes {
public:
    int AddDepth(int32_t depth);
    int FindDepth(int32_t depth) const;
    int Count() const { return static_cast<int>(Items.size()); }
    TColorDepthMode& operator[](int i) { return *Items.at(static_cast<size_t>(i)); }
    const TColorDepthMode& operator[](int i) const { return *Items.at(static_cast<size_t>(i)); }
    void Clear() { Items.clear(); }

private:
    std::vector<std::unique_ptr<TColorDepthMode>> Items;
};

class TCustomDisplayControl {
public:
    using TNotifyEvent = std::function<void(TCustomDisplayControl* sender)>;
    using TFilterModeEvent =
        std::function<void(TCustomDisplayControl* sender, int32_t depth, int32_t width, int32_t height, bool& accept)>;

    // `cursor` (may be null) hides the mouse cursor in full screen.
    explicit TCustomDisplayControl(platform::IDisplaySettings& display, platform::IApplicationHooks* cursor = nullptr);
    virtual ~TCustomDisplayControl();
    TCustomDisplayControl(const TCustomDisplayControl&) = delete;
    TCustomDisplayControl& operator=(const TCustomDisplayControl&) = delete;

    // Slots in this order.
    virtual void LeaveFullScreen();
    virtual bool EnterFullScreen(int32_t width, int32_t height, int32_t depth);

    void BuildModeLists();

    bool FullScreen() const { return FFullScreen; }
    void SetFullScreen(bool value);
    TScreenMode& GetFullScreenMode();
    TScreenMode& CurrentDesktopMode();
    TFullScreenMode& FullScreenMode() { return FFullScreenMode; }
    void SetFullScreenMode(const TScreenMode& mode) { FFullScreenMode.Assign(mode); }
    TScreenMode& Desktop16Mode() { return FDesktop16Mode; }

    void ColorDepthNames(std::vector<std::string>& strings) const;
    int FullScreenDepthIndex();
    int FullScreenModeIndex();
    void ScreenSizeNames(std::vector<std::string>& strings);

    // Property loading: while it runs, FullScreen is only stored; Loaded
    // then builds the lists (EnumOnLoad) and enters a loaded full screen.
    void BeginLoading() { FLoading = true; }
    void Loaded();
    bool Loading() const { return FLoading; }

    TVideoModesList& VideoModes() { return FVideoModes; }
    TColorDepthModes& DepthGroups() { return FDepthGroups; }
    const TColorDepthModes& DepthGroups() const { return FDepthGroups; }

    bool DesktopOnly = false;
    bool EnumOnLoad = false;
    TNotifyEvent OnBeforeChange;
    TNotifyEvent OnAfterChange;
    TFilterModeEvent OnFilterMode;

private:
    platform::IApplicationHooks* Cursor;
    bool FFullScreen = false;
    bool FLoading = false;
    TVideoModesList FVideoModes;
    TColorDepthModes FDepthGroups;
    TScreenMode FDesktopMode;
    TScreenMode FDesktop16Mode;
    TFullScreenMode FFullScreenMode;
};
