// The two windows' designs as data: the window code builds its controls from
// these tables by one loop and places them by one function (ControlRect), and
// the native tests read the same tables. Controls are named by an enum of
// their window, so a misspelt control does not compile. Geometry is in twips;
// converting to pixels happens at the window's DPI.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "windows/Geometry.h"

namespace tarn {
struct Deployment;
}

namespace tarn::design {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Font {
    std::string face;
    int points = 12;
    int weight = 400;   // 700 is bold
    int charset = 136;  // Chinese Big5
    friend bool operator==(const Font&, const Font&) = default;
};

// Panel: a plain container for other controls.
enum class Kind { Button, Panel, Label };
enum class Dock { None, Bottom };
enum class Align { Left, Center };

// What a click on the control does. Controls without a handler say None.
enum class Click { None, AnyDesk, AnyDeskGsn, RustDesk, RustDeskOwnServer, Aweray, AeroAdmin, Ie11, About };

// The main window's controls, listed in its tab order: the window creates
// them in this order, so that the window order, which the keyboard and
// assistive tools follow, is the tab order.
enum class MainControl {
    AnyDeskGsn,
    AnyDesk,
    RustDesk,
    RustDeskOwnServer,
    Aweray,
    BottomStrip,
    BottomLabel,  // inside BottomStrip
    About,
    AeroAdmin,
    Ie11,
    TrustViewer,
    AnyViewer,
};
inline constexpr int kMainControlCount = static_cast<int>(MainControl::AnyViewer) + 1;

// The reminder's labels, in its tab order.
enum class ReminderControl { Message, Contact };
inline constexpr int kReminderControlCount = static_cast<int>(ReminderControl::Contact) + 1;

template <typename Id>
struct Control {
    Id id{};
    Kind kind = Kind::Button;
    std::string caption = {};                      // the window text: caption of a button, text of a label
    int left = 0, top = 0, width = 0, height = 0;  // twips, within the container
    std::optional<Rgb> back = {};                  // nullopt: the system's button face
    std::optional<Rgb> fore = {};                  // nullopt: the system's button text
    std::optional<Font> font = {};                 // nullopt: the window's font
    std::optional<Id> container = {};              // nullopt: the client area
    Dock dock = Dock::None;
    Align align = Align::Left;
    Click click = Click::None;
};

template <typename Id>
struct Form {
    std::string caption;
    int clientWidth = 0, clientHeight = 0;  // twips
    Font font;
    std::optional<Rgb> back;  // nullopt: the system's button face
    std::vector<Control<Id>> controls;

    // The row of id. Every value of a window's enum has one (the native tests
    // hold the windows' tables to that), so a failure here is a broken table.
    const Control<Id>& At(Id id) const {
        for (const Control<Id>& c : controls)
            if (c.id == id) return c;
        throw Error("a control is missing from its design table");
    }
};

inline constexpr char kWindowFontFace[] = "微軟正黑體";
// What the reminder says until a launch writes its message.
inline constexpr char kReminderDesignText[] = "請 聯 絡 ( 小 森 )   告 知 您 的 號 碼";

Form<MainControl> MainWindowDesign(const Deployment& deploy);
Form<ReminderControl> ReminderDesign(const Deployment& deploy);

// The controls ordered by their id, which is the tab order.
template <typename Id>
std::vector<const Control<Id>*> InTabOrder(const Form<Id>& form) {
    std::vector<const Control<Id>*> order;
    for (const Control<Id>& c : form.controls) order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const Control<Id>* a, const Control<Id>* b) { return a->id < b->id; });
    return order;
}

// --- Pixels ------------------------------------------------------------------

// A font's LOGFONT height for its point size: negative, so the size is the
// character height rather than the cell height.
int FontHeight(int points, int dpi);

template <typename Id>
PixelSize ClientSize(const Form<Id>& form, int dpi) {
    return {TwipsToPixels(form.clientWidth, dpi), TwipsToPixels(form.clientHeight, dpi)};
}

// A rectangle of twips placed in a container of the given pixel size at dpi.
// Edges rather than sizes are converted, so that neighbours that share an
// edge in twips share it in pixels too. Docked to the bottom, it spans the
// container's width and sits on its bottom edge whatever the rounding.
PixelRect PlaceInContainer(int left, int top, int width, int height, Dock dock, PixelSize container, int dpi);

// The control's rectangle within its container at dpi.
template <typename Id>
PixelRect ControlRect(const Form<Id>& form, Id id, int dpi) {
    const Control<Id>& c = form.At(id);
    const PixelSize container = c.container ? ControlRect(form, *c.container, dpi).Size() : ClientSize(form, dpi);
    return PlaceInContainer(c.left, c.top, c.width, c.height, c.dock, container, dpi);
}

// --- The bottom strip while a program file downloads -------------------------

// The strip's label gives way to a line with the sizes, a bar and a cancel
// button. They are laid out from the strip's right end, so that the line
// takes whatever width the strip has left. Twips.
struct ProgressDesign {
    int margin = 0;  // at both ends of the strip and between its controls
    int cancelWidth = 0;
    int cancelInset = 0;  // above and below the cancel button
    int barWidth = 0;
    int barInset = 0;    // above and below the bar
    int sizesWidth = 0;  // the sizes, at the line's right end
    Font font;           // of the line and the cancel button
    Font sizesFont;      // smaller: the sizes are for whoever wants them
};

ProgressDesign DownloadProgressDesign();

struct ProgressRects {
    PixelRect line, sizes, bar, cancel;
};

// The controls' rectangles in a strip of the given size at dpi.
ProgressRects ProgressLayout(const ProgressDesign& design, PixelSize strip, int dpi);

// --- Inside a button -----------------------------------------------------------

// The focus frame and the caption's room inside a button's edge, in pixels:
// written for 96 DPI and scaled, so that neither grows into the other.
struct ButtonInsets {
    int focusInset = 0;        // from the button's edge to the focus frame
    int focusWidth = 0;        // the frame's solid line
    int textX = 0, textY = 0;  // from the edge to the caption, clear of the frame
};

ButtonInsets ButtonInsetsAt(int dpi);

}  // namespace tarn::design
