// The two windows' designs as data: the window code builds its controls from
// these tables by one loop, and the native tests read the same tables.
// Geometry is in twips (1440 to the inch); converting to pixels happens at the
// window's DPI, in one place (ControlRect).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/Deployment.h"

namespace tarn::design {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Font {
    std::string face;
    int points = 12;
    int weight = 400;  // 700 is bold
    int charset = 136;  // Chinese Big5
    friend bool operator==(const Font&, const Font&) = default;
};

enum class Kind { Button, PictureBox, Label };
enum class Dock { None, Bottom };
enum class Align { Left, Center };

// What a click on the control does. Controls without a handler say None.
enum class Click { None, Anydesk, AnydeskGsn, RustDesk, RustDeskOwn, Aweray, AeroAdmin, Ie11, About };

struct Control {
    std::string name;
    Kind kind = Kind::Button;
    std::string caption;  // the window text: caption of a button, text of a label
    int left = 0, top = 0, width = 0, height = 0;  // twips, within the container
    std::optional<Rgb> back;  // nullopt: the system's button face
    std::optional<Rgb> fore;  // nullopt: the system's button text
    std::optional<Font> font; // nullopt: the window's font
    int tabIndex = 0;
    std::string container;  // name of the containing control; empty for the client area
    Dock dock = Dock::None;
    Align align = Align::Left;
    Click click = Click::None;
};

struct Form {
    std::string name;
    std::string caption;
    int clientWidth = 0, clientHeight = 0;  // twips
    Font font;
    std::optional<Rgb> back;  // nullopt: the system's button face
    std::vector<Control> controls;
};

inline constexpr char kWindowFontFace[] = "微軟正黑體";
inline constexpr char kTopMsgDesignText[] = "請 聯 絡 ( 小 森 )   告 知 您 的 號 碼";

Form MainForm(const Deployment& deploy);
Form TopMsgForm(const Deployment& deploy);

const Control* Find(const Form& form, std::string_view name);

// The controls ordered by tab index: the order the window creates them in, so
// that the window order that keyboard and assistive tools follow is the
// design's tab order.
std::vector<const Control*> InTabOrder(const Form& form);

// --- Pixels ------------------------------------------------------------------

inline constexpr int kTwipsPerInch = 1440;

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// twips * dpi / 1440, rounded half away from zero as MulDiv does.
int TwipsToPixels(int twips, int dpi);

// A font's LOGFONT height for its point size: negative, so the size is the
// character height rather than the cell height.
int FontHeight(int points, int dpi);

struct PixelSize {
    int width = 0, height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

PixelSize ClientSize(const Form& form, int dpi);

// The control's rectangle within its container at dpi. Edges rather than sizes
// are converted, so that neighbours that share an edge in twips share it in
// pixels too. A control docked to the bottom spans its container's width and
// sits on its bottom edge whatever the rounding.
PixelRect ControlRect(const Form& form, const Control& control, int dpi);

}  // namespace tarn::design
