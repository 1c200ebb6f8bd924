// The main window: ten coloured buttons and the strip with the product line.
// Built from its design table (DesignedControls); its behaviour lives in
// MainWindowLogic, which this class feeds with messages. While a launch runs
// the buttons are disabled and the close request is refused; while a program
// file downloads, the strip shows its progress and a cancel button
// (ProgressStrip).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "windows/CaptionFit.h"
#include "windows/Designs.h"
#include "windows/MainWindowLogic.h"
#include "windows/win32/DesignedControls.h"
#include "windows/win32/ProgressStrip.h"
#include "windows/win32/ReminderWindow.h"
#include "windows/win32/WinColours.h"
#include "windows/win32/WindowBase.h"

namespace tarn {

class MainWindow : private win::WindowBase<MainWindow>, private MainWindowHost {
public:
    MainWindow(HINSTANCE instance, Platform& os, ReminderWindow& reminder, const Deployment& deploy);
    ~MainWindow();

    // Runs when the window exists, before its start-up step: the place to
    // make it the owner of message boxes.
    void OnCreated(std::function<void(HWND)> callback) { onCreated_ = std::move(callback); }
    // Runs after the window has gone.
    void OnDestroyed(std::function<void()> callback) { onDestroyed_ = std::move(callback); }

    // Creates the window, hidden, and runs its start-up step. False when the
    // window could not be made.
    bool Create();
    bool IsOpen() const noexcept { return hwnd_ != nullptr; }
    using WindowBase::Window;
    // One of the design's controls; null while the window is not open.
    HWND ControlWindow(design::MainControl control) const noexcept { return controls_.Handle(control); }

    // How a button's caption is set at the current DPI: its size and lines.
    std::optional<CaptionSetting> CaptionOf(design::MainControl button) const;

    // The progress strip, for the platform to report downloads to.
    win::ProgressStrip& Downloads() noexcept { return strip_; }
    // True while a click's work runs.
    bool IsBusy() const noexcept { return busy_; }

    // Keyboard handling for the message loop: Tab and Shift+Tab in the
    // design's tab order, Enter and Space click the focused button, Esc
    // cancels a download. True when the message was dealt with.
    bool PreTranslateMessage(MSG& msg);

private:
    friend class win::WindowBase<MainWindow>;

    class LaunchScope;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void AfterDestroy();

    void Layout(int dpi);
    // Breaks each button's caption at blanks and picks the size it fits at;
    // the fonts are made here, not while painting.
    void SetCaptions(int dpi);
    void DrawButton(const DRAWITEMSTRUCT& draw);
    // The clickable label, drawn in the colours of its state.
    void DrawLabel(const DRAWITEMSTRUCT& draw, design::MainControl label);
    void OnCommand(int id, int notification);
    bool OnCloseRequest();
    void EnableClicks(bool enable);

    // MainWindowHost, for the start-up step.
    void ClearDefault(design::MainControl control) override;
    PixelRect OuterRect() override;
    Screen ScreenOf() override;
    void MoveTo(int left, int top) override;

    HINSTANCE instance_;
    Platform& os_;
    ReminderWindow& reminder_;
    Deployment deploy_;
    win::DesignedControls<design::MainControl> controls_;
    win::ProgressStrip strip_;
    win::BrushCache stripBrushes_;
    struct Caption {
        CaptionSetting setting;
        std::wstring text;     // the lines, joined by line feeds
        HFONT font = nullptr;  // one of captionFonts_
    };
    std::map<design::MainControl, Caption> captions_;
    std::map<int, FontHandle> captionFonts_;  // by point size, at the current DPI
    std::function<void(HWND)> onCreated_;
    std::function<void()> onDestroyed_;

    HWND lastFocus_ = nullptr;
    bool busy_ = false;  // a click or the close request is running
};

}  // namespace tarn
