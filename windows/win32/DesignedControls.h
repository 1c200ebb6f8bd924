// A window's controls made from its design table, for both windows alike:
// created in tab order with their brushes, placed and given their fonts at
// the window's DPI by one layout, and painted in the design's colours. The
// window reaches each control by its enum value.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "windows/Colours.h"
#include "windows/Designs.h"
#include "windows/win32/Dpi.h"
#include "windows/win32/WinColours.h"
#include "windows/win32/WinFonts.h"

namespace tarn::win {

// The first command id of a design's controls, clear of IDOK and IDCANCEL,
// which the dialog keys send, and of the progress strip's controls.
inline constexpr int kFirstControlId = 100;

// The Win32 calls behind DesignedControls, out of the template so that each
// window's instance shares them.

// What a design row asks of the control made for it.
struct ControlLook {
    design::Kind kind;
    design::Align align;
    bool clickable;
};
// Throws PlatformError with failure when the control cannot be made.
HWND CreateControl(HWND parent, HINSTANCE instance, const ControlLook& look, const std::string& caption, int id,
                   const char* failure);

// Moves control to r within its parent and gives it font.
void PlaceControl(HWND control, const PixelRect& r, HFONT font) noexcept;

// Sets a label's colours for WM_CTLCOLORSTATIC; answers the brush to paint
// its background with.
LRESULT LabelColours(HDC dc, const colours::Look& look, BrushCache& brushes);

// Fills window's client area with brush, for WM_ERASEBKGND.
void EraseWith(HWND window, HDC dc, HBRUSH brush) noexcept;

// The state a control is drawn in when only its window is known.
colours::State StateOf(HWND control) noexcept;

template <typename Id>
class DesignedControls {
public:
    explicit DesignedControls(design::Form<Id> form) : form_(std::move(form)) {}
    DesignedControls(const DesignedControls&) = delete;
    DesignedControls& operator=(const DesignedControls&) = delete;

    const design::Form<Id>& Form() const noexcept { return form_; }
    int Dpi() const noexcept { return dpi_; }

    // Makes the window's background brush and its controls, as children of
    // window or of their container. Created in tab order, so that the
    // window order, which the keyboard and assistive tools follow, is the
    // design's tab order. Throws PlatformError with failure.
    void Create(HWND window, HINSTANCE instance, const char* failure) {
        Destroy();
        highContrast_ = HighContrastOn();
        for (const design::Control<Id>* c : design::InTabOrder(form_)) {
            // A container comes before what it holds in the tab order.
            HWND parent = c->container ? Handle(*c->container) : window;
            if (!parent) throw PlatformError(failure);
            Item item;
            item.id = c->id;
            item.hwnd = CreateControl(parent, instance, {c->kind, c->align, c->click != design::Click::None},
                                      c->caption, CommandId(c->id), failure);
            items_.push_back(std::move(item));
        }
    }

    // Places every control and gives it its font at dpi: when the window is
    // made and again when it moves to a monitor of another DPI.
    void Layout(int dpi) {
        dpi_ = dpi;
        FontHandle windowFont = MakeFont(form_.font, dpi);
        std::vector<FontHandle> replaced;
        for (Item& item : items_) {
            const design::Control<Id>& c = form_.At(item.id);
            FontHandle own = c.font ? MakeFont(*c.font, dpi) : FontHandle();
            PlaceControl(item.hwnd, design::ControlRect(form_, item.id, dpi), own ? own.get() : windowFont.get());
            replaced.push_back(std::exchange(item.font, std::move(own)));
        }
        // The old fonts go only once no control uses them.
        windowFont_ = std::move(windowFont);
    }

    // The window's outer size for the design's client area at the current DPI.
    SIZE OuterSize(DWORD style, DWORD exStyle) const noexcept {
        return OuterSizeForClient(design::ClientSize(form_, dpi_), style, exStyle, dpi_);
    }

    // After WM_DPICHANGED and the layout at the new DPI: the window at the
    // place Windows suggests, with the design's size rather than the
    // suggested one, which scales the old outer size and can leave the
    // client area a pixel off the design's.
    void FitAfterDpiChange(HWND window, const RECT& suggested, DWORD style, DWORD exStyle) const noexcept {
        const SIZE outer = OuterSize(style, exStyle);
        ::SetWindowPos(window, nullptr, suggested.left, suggested.top, outer.cx, outer.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Lets go of the controls' brushes and fonts; the controls themselves go
    // with their window.
    void Destroy() noexcept {
        items_.clear();
        brushes_.Clear();
        windowFont_.reset();
    }

    // The messages through which the design paints: the window's background
    // and its labels' colours, and the changes of the system's settings and
    // colours, which can switch high contrast; those go on to the window too.
    std::optional<LRESULT> HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            if (message == WM_SETTINGCHANGE || message == WM_SYSCOLORCHANGE) {
                highContrast_ = HighContrastOn();
                ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
                return std::nullopt;
            }
            if (message == WM_ERASEBKGND && (form_.back || highContrast_)) {
                const colours::Look look = colours::LookOf(colours::Role::Label, form_.back, std::nullopt,
                                                           colours::State::Normal, highContrast_);
                // The main window stands on the button face like its buttons.
                EraseWith(window, reinterpret_cast<HDC>(wParam),
                          brushes_.For(form_.back ? look.fill : colours::Colour(colours::System::ButtonFace)));
                return 1;
            }
            if (message == WM_CTLCOLORSTATIC) {
                const Item* item = Find(reinterpret_cast<HWND>(lParam));
                if (item && form_.At(item->id).back)
                    return LabelColours(reinterpret_cast<HDC>(wParam),
                                        LookOf(item->id, StateOf(reinterpret_cast<HWND>(lParam))), brushes_);
            }
        } catch (...) {
            // A brush that could not be made: the system paints it instead.
        }
        return std::nullopt;
    }

    bool HighContrast() const noexcept { return highContrast_; }

    // The colours of a control in state, from the one source.
    colours::Look LookOf(Id id, colours::State state) const {
        const design::Control<Id>& c = form_.At(id);
        const colours::Role role = c.kind == design::Kind::Button ? colours::Role::Button : colours::Role::Label;
        return colours::LookOf(role, c.back, c.fore, state, highContrast_);
    }

    HBRUSH Brush(const colours::Colour& colour) { return brushes_.For(colour); }

    HWND Handle(Id id) const noexcept {
        const Item* item = Find(id);
        return item ? item->hwnd : nullptr;
    }

    // The control that hwnd is, if it is one of the design's.
    std::optional<Id> IdOf(HWND hwnd) const noexcept {
        const Item* item = Find(hwnd);
        return item ? std::optional<Id>(item->id) : std::nullopt;
    }

    static int CommandId(Id id) noexcept { return kFirstControlId + static_cast<int>(id); }

    // The control whose command id is commandId, if it is one of the design's.
    std::optional<Id> IdOfCommand(int commandId) const noexcept {
        for (const Item& item : items_)
            if (CommandId(item.id) == commandId) return item.id;
        return std::nullopt;
    }

    HFONT FontOf(Id id) const noexcept {
        const Item* item = Find(id);
        return item && item->font ? item->font.get() : windowFont_.get();
    }

    // The controls made, in tab order.
    std::vector<std::pair<Id, HWND>> InTabOrder() const {
        std::vector<std::pair<Id, HWND>> controls;
        for (const Item& item : items_) controls.emplace_back(item.id, item.hwnd);
        return controls;
    }

private:
    struct Item {
        Id id{};
        HWND hwnd = nullptr;
        FontHandle font;  // its own, when the design gives it one
    };

    const Item* Find(HWND hwnd) const noexcept {
        if (!hwnd) return nullptr;
        for (const Item& item : items_)
            if (item.hwnd == hwnd) return &item;
        return nullptr;
    }

    const Item* Find(Id id) const noexcept {
        for (const Item& item : items_)
            if (item.id == id) return &item;
        return nullptr;
    }

    design::Form<Id> form_;
    int dpi_ = 96;
    std::vector<Item> items_;
    bool highContrast_ = false;
    BrushCache brushes_;
    FontHandle windowFont_;
};

}  // namespace tarn::win
