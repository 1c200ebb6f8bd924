// The main window: ten coloured buttons and the strip with the product line.
// Built from its design table by one loop; its behaviour lives in
// MainWindowLogic, which this class feeds with messages.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>
#include <vector>

#include "launch/ToolEntry.h"
#include "platform/Handle.h"
#include "windows/Designs.h"
#include "windows/FrmTopMsg.h"
#include "windows/MainWindowLogic.h"
#include "windows/WindowBase.h"

namespace tarn {

class FrmMain : private win::WindowBase<FrmMain>, private MainWindowHost {
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

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void AfterDestroy();

    void CreateControls();
    void Layout(int dpi);
    void DrawButton(const DRAWITEMSTRUCT& draw);
    void OnCommand(int id, int notification);
    bool OnCloseRequest();
    Item* FindItem(HWND hwnd);
    Item* FindItem(int id);

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
};

}  // namespace tarn
