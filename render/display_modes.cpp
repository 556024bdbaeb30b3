#include "render/display_modes.h"

#include "platform/application_hooks.h"
#include "platform/display.h"
#include "core/strutil.h"

#include <algorithm>

namespace {

TVideoMode FromSystem(const platform::DisplayMode& m) { return TVideoMode{m.Width, m.Height, m.BitsPerPixel, m.Frequency}; }

platform::DisplayMode ToSystem(const TVideoMode& m) {
    return platform::DisplayMode{m.Width, m.Height, m.BitsPerPixel, m.Frequency};
}

// `count` characters of `text` from the 1-based `index`; parts outside the
// text are cut, never read (the mode texts come from the settings store).
std::string_view Copy(std::string_view text, int64_t index, int64_t count) {
    if (index < 1) index = 1;
    if (count <= 0 || index > static_cast<int64_t>(text.size())) return {};
    return text.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

// 1-based position of the first `c`, 0 when absent.
int64_t Pos(char c, std::string_view text) {
    size_t p = text.find(c);
    return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// TVideoModesList

TVideoModesList::TVideoModesList(platform::IDisplaySettings& display) : Display(&display) {}

TVideoModesList::~TVideoModesList() {
    // Also when the last switch failed after an earlier one succeeded: the
    // display still shows the earlier mode then.
    if (FModeActive || Display->ModeChanged()) RestoreMode();
}

void TVideoModesList::EnumModes() {
    FModes.clear();
    platform::DisplayMode m;
    for (int i = 0; Display->EnumMode(i, m); ++i) AddMode(FromSystem(m));
    const TVideoMode& desktop = GetCurrentMode();
    if (FindMode(desktop.Width, desktop.Height, desktop.BitsPerPixel) < 0)
        AddMode(TVideoMode{desktop.Width, desktop.Height, desktop.BitsPerPixel, 0});
}

void TVideoModesList::AddMode(const TVideoMode& mode) {
    TVideoMode entry = mode;
    if (entry.Frequency == 0) entry.Frequency = 1;
    int i = FindMode(entry.Width, entry.Height, entry.BitsPerPixel);
    if (i >= 0) {
        TVideoMode& known = FModes[static_cast<size_t>(i)];
        known.Frequency = std::max(known.Frequency, entry.Frequency);
        return;
    }
    if (Display->TestMode(ToSystem(entry))) FModes.push_back(entry);
}

int TVideoModesList::FindMode(int32_t width, int32_t height, int32_t bits) const {
    for (size_t i = 0; i < FModes.size(); ++i) {
        const TVideoMode& m = FModes[i];
        if (m.BitsPerPixel == bits && m.Width == width && m.Height == height) return static_cast<int>(i);
    }
    return -1;
}

const TVideoMode& TVideoModesList::GetCurrentMode() {
    platform::DisplayMode m = Display->CurrentMode();
    FDesktopMode.Width = m.Width;
    FDesktopMode.Height = m.Height;
    FDesktopMode.BitsPerPixel = m.BitsPerPixel;
    return FDesktopMode;
}

bool TVideoModesList::SetMode(int32_t width, int32_t height, int32_t bits) {
    GetCurrentMode();
    if (FDesktopMode.Width == width && FDesktopMode.Height == height && FDesktopMode.BitsPerPixel == bits) {
        FModeActive = true;
        return true;
    }
    int i = FindMode(width, height, bits);
    if (i < 0) return false;
    const TVideoMode& entry = FModes[static_cast<size_t>(i)];
    bool ok = Display->ChangeMode(ToSystem(entry));
    FModeChanged = ok;
    FModeActive = ok;
    FLastMode = entry;
    return ok;
}

void TVideoModesList::RestoreMode() {
    Display->RestoreMode();
    FModeChanged = false;
    FModeActive = false;
}

// ---------------------------------------------------------------------------
// TScreenMode

TScreenMode::TScreenMode(int32_t width, int32_t height, int32_t depth)
    : FColorDepth(depth), FScreenSize(PackSize(width, height)) {}

int32_t TScreenMode::PackSize(int32_t width, int32_t height) {
    return static_cast<int32_t>((static_cast<uint32_t>(width) << 16) | (static_cast<uint32_t>(height) & 0xFFFF));
}

void TScreenMode::SetColorDepth(int32_t depth) {
    FColorDepth = depth;
    Changed();
}

void TScreenMode::SetScreenSize(int32_t size) {
    FScreenSize = size;
    Changed();
}

void TScreenMode::Set(int32_t width, int32_t height, int32_t depth) {
    FScreenSize = PackSize(width, height);
    FColorDepth = depth;
    Changed();
}

void TScreenMode::SetSize(int32_t width, int32_t height) {
    FScreenSize = PackSize(width, height);
    Changed();
}

void TScreenMode::Assign(const TScreenMode& source) {
    FColorDepth = source.FColorDepth;
    FScreenSize = source.FScreenSize;
}

std::string TScreenMode::SizeText() const { return std::to_string(Width()) + "x" + std::to_string(Height()); }

std::string TScreenMode::ModeText() const { return SizeText() + "x" + std::to_string(FColorDepth); }

std::string TScreenMode::DepthName(int32_t depth) {
    if (depth == 16) return "High Color(16 bit)";
    if (depth == 32) return "True Color(32 bit)";
    // The colour count is exact for every depth up to 63 bits.
    uint64_t colors = depth >= 0 && depth < 64 ? uint64_t{1} << depth : 0;
    return std::to_string(colors) + " Color(" + std::to_string(depth) + " bit)";
}

std::string TScreenMode::DepthText() const { return DepthName(FColorDepth); }

void TScreenMode::SetSizeText(std::string_view text) {
    int64_t x = Pos('x', text);
    int32_t width = str::StrToInt(Copy(text, 1, x - 1));
    int32_t height = str::StrToInt(Copy(text, x + 1, static_cast<int64_t>(text.size())));
    SetSize(width, height);
}

void TScreenMode::SetModeText(std::string_view text) {
    int64_t x1 = Pos('x', text);
    std::string_view rest = Copy(text, x1 + 1, static_cast<int64_t>(text.size()));
    int64_t x2 = Pos('x', rest);
    int32_t width = str::StrToInt(Copy(text, 1, x1 - 1));
    int32_t height = str::StrToInt(Copy(rest, 1, x2 - 1));
    int32_t depth = str::StrToInt(Copy(rest, x2 + 1, static_cast<int64_t>(rest.size())));
    Set(width, height, depth);
}

void TScreenMode::SetDepthText(std::string_view text) {
    if (text == "High Color(16 bit)") {
        FColorDepth = 16;
    } else if (text == "True Color(32 bit)") {
        FColorDepth = 32;
    } else {
        // "<count> Color(<depth> bit)": the number between "(" and the blank
        // before the first "b".
        int64_t open = Pos('(', text);
        int64_t b = Pos('b', text);
        FColorDepth = str::StrToInt(Copy(text, open + 1, b - open - 2));
    }
    Changed();
}

// ---------------------------------------------------------------------------
// TFullScreenMode

TFullScreenMode::TFullScreenMode(TCustomDisplayControl& owner) : TScreenMode(640, 480, 16), Owner(&owner) {}

void TFullScreenMode::Changed() {
    TColorDepthModes& groups = Owner->DepthGroups();
    if (groups.Count() == 0) return;
    int g = groups.FindDepth(FColorDepth);
    if (g < 0) g = 0;
    TColorDepthMode& group = groups[g];
    FColorDepth = group.Depth;
    if (group.Modes.Find(Width(), Height(), FColorDepth) < 0 && group.Modes.Count() > 0)
        FScreenSize = group.Modes[0].ScreenSize();
}

// ---------------------------------------------------------------------------
// TScreenModes, TColorDepthModes

void TScreenModes::Add(int32_t width, int32_t height, int32_t depth) {
    if (Find(width, height, depth) < 0) Items.push_back(std::make_unique<TScreenMode>(width, height, depth));
}

int TScreenModes::Find(int32_t width, int32_t height, int32_t depth) const {
    for (size_t i = 0; i < Items.size(); ++i) {
        const TScreenMode& m = *Items[i];
        if (m.Width() == width && m.Height() == height && m.ColorDepth() == depth) return static_cast<int>(i);
    }
    return -1;
}

int TColorDepthModes::AddDepth(int32_t depth) {
    int i = FindDepth(depth);
    if (i >= 0) return i;
    auto group = std::make_unique<TColorDepthMode>();
    group->Depth = depth;
    Items.push_back(std::move(group));
    return static_cast<int>(Items.size()) - 1;
}

int TColorDepthModes::FindDepth(int32_t depth) const {
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i]->Depth == depth) return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------
// TCustomDisplayControl

TCustomDisplayControl::TCustomDisplayControl(platform::IDisplaySettings& display, platform::IApplicationHooks* cursor)
    : Cursor(cursor), FVideoModes(display), FFullScreenMode(*this) {}

TCustomDisplayControl::~TCustomDisplayControl() {
    if (FFullScreen) LeaveFullScreen();
}

void TCustomDisplayControl::BuildModeLists() {
    FDepthGroups.Clear();
    FVideoModes.EnumModes();
    for (int i = 0; i < FVideoModes.Count(); ++i) {
        TVideoMode m = FVideoModes.Items(i);
        bool accept = true;
        if (OnFilterMode) OnFilterMode(this, m.BitsPerPixel, m.Width, m.Height, accept);
        if (!accept) continue;
        int g = FDepthGroups.AddDepth(m.BitsPerPixel);
        FDepthGroups[g].Modes.Add(m.Width, m.Height, m.BitsPerPixel);
    }
    FFullScreenMode.Assign(FDesktop16Mode);
}

void TCustomDisplayControl::SetFullScreen(bool value) {
    if (value == FFullScreen) return;
    if (FLoading) {
        FFullScreen = value;
        return;
    }
    if (value) {
        TScreenMode& mode = GetFullScreenMode();
        EnterFullScreen(mode.Width(), mode.Height(), mode.ColorDepth());
    } else {
        LeaveFullScreen();
    }
}

TScreenMode& TCustomDisplayControl::GetFullScreenMode() {
    if (DesktopOnly) return CurrentDesktopMode();
    return FFullScreenMode;
}

TScreenMode& TCustomDisplayControl::CurrentDesktopMode() {
    const TVideoMode& m = FVideoModes.GetCurrentMode();
    FDesktopMode.Set(m.Width, m.Height, m.BitsPerPixel);
    return FDesktopMode;
}

void TCustomDisplayControl::ColorDepthNames(std::vector<std::string>& strings) const {
    strings.clear();
    for (int i = 0; i < FDepthGroups.Count(); ++i) {
        const TColorDepthMode& group = FDepthGroups[i];
        strings.push_back(group.Modes.Count() ? group.Modes[0].DepthText() : TScreenMode::DepthName(group.Depth));
    }
}

int TCustomDisplayControl::FullScreenDepthIndex() { return FDepthGroups.FindDepth(GetFullScreenMode().ColorDepth()); }

int TCustomDisplayControl::FullScreenModeIndex() {
    TScreenMode& mode = GetFullScreenMode();
    int g = FDepthGroups.FindDepth(mode.ColorDepth());
    if (g < 0) return -1;
    return FDepthGroups[g].Modes.Find(mode.Width(), mode.Height(), mode.ColorDepth());
}

void TCustomDisplayControl::ScreenSizeNames(std::vector<std::string>& strings) {
    int g = FDepthGroups.FindDepth(GetFullScreenMode().ColorDepth());
    if (g < 0) return;
    strings.clear();
    const TScreenModes& modes = FDepthGroups[g].Modes;
    for (int i = 0; i < modes.Count(); ++i) strings.push_back(modes[i].SizeText());
}

void TCustomDisplayControl::Loaded() {
    FLoading = false;
    if (EnumOnLoad) BuildModeLists();
    if (FFullScreen) {
        TScreenMode& mode = GetFullScreenMode();
        EnterFullScreen(mode.Width(), mode.Height(), mode.ColorDepth());
    }
}

bool TCustomDisplayControl::EnterFullScreen(int32_t width, int32_t height, int32_t depth) {
    if (Cursor) Cursor->ShowCursor(false);
    FFullScreenMode.Set(width, height, depth);
    if (OnBeforeChange) OnBeforeChange(this);
    TScreenMode& mode = GetFullScreenMode();
    bool ok = FVideoModes.SetMode(mode.Width(), mode.Height(), mode.ColorDepth());
    FFullScreen = FVideoModes.ModeActive();
    if (OnAfterChange) OnAfterChange(this);
    return ok;
}

void TCustomDisplayControl::LeaveFullScreen() {
    if (Cursor) Cursor->ShowCursor(true);
    if (OnBeforeChange) OnBeforeChange(this);
    FVideoModes.RestoreMode();
    FFullScreen = FVideoModes.ModeActive();
    if (OnAfterChange) OnAfterChange(this);
}
