// The main window: ten coloured buttons and the strip with the product line.
// Built from its design table by one loop; its behaviour lives in
// MainWindowLogic, which this class feeds with messages. While a launch runs
// the buttons are disabled and the close request is refused; while a program
// file downloads, the strip shows its progress and a cancel control.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/LaunchSteps.h"
#include "platform/Handle.h"
#include "platform/Win32Platform.h"
#include "windows/Designs.h"
#include "windows/FrmTopMsg.h"
#include "windows/MainWindowLogic.h"
#include "windows/WindowBase.h"

namespace tarn {

class FrmMain : private win::WindowBase<FrmMain>, private MainWindowHost, private DownloadWatcher {
public:
    FrmMain(HINSTANCE instance, Platform& os, FrmTopMsg& reminder, const Deployment& deploy);
    ~FrmMain();

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

    // The progress strip, for the platform to report downloads to.
    DownloadWatcher& Downloads() noexcept { return *this; }
    // True while a click's work runs.
    bool IsBusy() const noexcept { return busy_; }

    // Keyboard handling for the message loop: Tab and Shift+Tab in the
    // design's tab order, Enter and Space click the focused button. True when
    // the message was dealt with.
    bool PreTranslateMessage(MSG& msg);

private:
    friend class win::WindowBase<FrmMain>;

    struct Item {
        const design::Control* design = nullptr;
        int id = 0;
        HWND hwnd = nullptr;
        BrushHandle back;
        bool isDefault = false;
    };

    // The strip's controls during a download; made when it begins, gone when
    // it ends, so that otherwise the strip holds its label alone.
    struct Progress {
        std::string fileName;
        std::function<void()> cancel;
        HWND text = nullptr;
        HWND bar = nullptr;
        HWND cancelButton = nullptr;
        bool marquee = false;
        FontHandle font;
        int fontDpi = 0;
    };

    class LaunchScope;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void AfterDestroy();

    void CreateControls();
    void Layout(int dpi);
    void DrawButton(const DRAWITEMSTRUCT& draw);
    void OnCommand(int id, int notification);
    bool OnCloseRequest();
    Item* FindItem(HWND hwnd);
    Item* FindItem(int id);
    HWND Strip() const;
    HWND BottomLabel() const;
    void EnableClicks(bool enable);

    void MakeProgressBar(bool marquee);
    void LayoutProgress();
    void CancelDownload();

    // DownloadWatcher
    void DownloadBegins(const std::string& path, std::function<void()> cancel) override;
    void DownloadProgress(std::uint64_t received, std::int64_t total) override;
    void DownloadEnds() override;

    // MainWindowHost, for the start-up step.
    void SetButtonDefault(std::string_view control, bool isDefault) override;
    PixelRect OuterRect() override;
    Screen ScreenOf() override;
    void MoveTo(int left, int top) override;

    HINSTANCE instance_;
    Platform& os_;
    FrmTopMsg& reminder_;
    Deployment deploy_;
    design::Form form_;
    std::function<void(HWND)> onCreated_;
    std::function<void()> onDestroyed_;

    int dpi_ = 96;
    std::vector<Item> items_;
    FontHandle font_;
    HWND lastFocus_ = nullptr;
    bool busy_ = false;  // a click or the close request is running
    std::optional<Progress> progress_;
};

}  // namespace tarn
