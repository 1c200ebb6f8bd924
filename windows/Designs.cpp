#include "windows/Designs.h"

#include <algorithm>
#include <cstdint>

namespace tarn::design {

namespace {

const Font kWindowFont{kWindowFontFace, 12, 400, 136};

Control Button(std::string name, std::string caption, int left, int top, Rgb back, int tabIndex, Click click) {
    Control c;
    c.name = std::move(name);
    c.kind = Kind::Button;
    c.caption = std::move(caption);
    c.left = left;
    c.top = top;
    // Every button is 15 twips wider and higher than the grid step, so that
    // neighbours overlap by one pixel at 96 DPI and their borders coincide.
    c.width = 1695;
    c.height = 975;
    c.back = back;
    c.tabIndex = tabIndex;
    c.align = Align::Center;
    c.click = click;
    return c;
}

}  // namespace

Form MainForm(const Deployment& deploy) {
    Form form;
    form.name = "frmMain";
    form.caption = "遠端維修";
    form.clientWidth = 8445;
    form.clientHeight = 2505;
    form.font = kWindowFont;
    form.back = std::nullopt;

    form.controls = {
        Button("cmdRustDesk", "RustDesk", 0, 0, {192, 255, 255}, 2, Click::RustDesk),
        Button("cmdAnydesk", "AnyDesk", 1680, 0, {255, 192, 192}, 1, Click::Anydesk),
        Button("cmdAweray", "Aweray", 3360, 0, {255, 224, 192}, 4, Click::Aweray),
        Button("Command1", "AeroAdmin", 5040, 0, {192, 255, 192}, 8, Click::AeroAdmin),
        Button("cmdIE11", "傳統IE11 (tarn-IE11)", 6720, 0, {255, 255, 192}, 9, Click::Ie11),
        Button("cmdRustDeskGSN", "RustDesk (tarn)", 0, 960, {128, 255, 255}, 3, Click::RustDeskOwn),
        Button("cmdAnydeskGSN", "AnyDesk (GSN)", 1680, 960, {255, 128, 128}, 0, Click::AnydeskGsn),
        Button("cmdTrustViewer", "TrustViewer", 3360, 960, {128, 255, 128}, 10, Click::None),
        Button("cmdAnyViewer", "AnyViewer", 5040, 960, {255, 128, 255}, 11, Click::None),
        Button("cmdAbout", "聯絡小森", 6720, 960, {192, 192, 255}, 7, Click::About),
    };

    Control pic;
    pic.name = "picBottom";
    pic.kind = Kind::PictureBox;
    pic.left = 0;
    pic.top = 2010;
    pic.width = 8445;
    pic.height = 495;
    pic.tabIndex = 5;
    pic.dock = Dock::Bottom;
    form.controls.push_back(pic);

    Control label;
    label.name = "lblBottom";
    label.kind = Kind::Label;
    label.caption = "遠端協助 (tarn-kit)  網站：" + deploy.webHost + "  (20231104)";
    label.left = 0;
    label.top = 0;
    label.width = 8370;
    label.height = 420;
    label.back = Rgb{255, 255, 192};
    label.tabIndex = 6;
    label.container = "picBottom";
    label.align = Align::Center;
    label.click = Click::About;
    form.controls.push_back(label);
    return form;
}

Form TopMsgForm(const Deployment& deploy) {
    Form form;
    form.name = "frmTopMsg";
    form.caption = "小森遠端協助";
    form.clientWidth = 7275;
    form.clientHeight = 1665;
    form.font = kWindowFont;
    form.back = Rgb{244, 230, 255};

    Control message;
    message.name = "lblTopMsg";
    message.kind = Kind::Label;
    message.caption = kTopMsgDesignText;
    message.left = 0;
    message.top = 360;
    message.width = 7275;
    message.height = 585;
    message.fore = Rgb{0, 0, 255};
    message.back = Rgb{192, 192, 255};
    message.font = Font{kWindowFontFace, 18, 700, 136};
    message.tabIndex = 0;
    message.align = Align::Center;

    Control contact;
    contact.name = "Label2";
    contact.kind = Kind::Label;
    contact.caption = "Line: " + deploy.supportPhone + "  /  網站：" + deploy.webHost + " ";
    contact.left = 0;
    contact.top = 1320;
    // 120 twips wider than the client area; the window clips the rest.
    contact.width = 7395;
    contact.height = 345;
    contact.fore = Rgb{0, 0, 255};
    contact.back = Rgb{255, 255, 192};
    contact.tabIndex = 1;
    contact.align = Align::Center;

    form.controls = {message, contact};
    return form;
}

const Control* Find(const Form& form, std::string_view name) {
    for (const Control& c : form.controls)
        if (c.name == name) return &c;
    return nullptr;
}

std::vector<const Control*> InTabOrder(const Form& form) {
    std::vector<const Control*> order;
    for (const Control& c : form.controls) order.push_back(&c);
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    return order;
}

int TwipsToPixels(int twips, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(twips) * dpi;
    const std::int64_t half = kTwipsPerInch / 2;
    const std::int64_t rounded = product >= 0 ? (product + half) / kTwipsPerInch : -((-product + half) / kTwipsPerInch);
    return static_cast<int>(rounded);
}

int FontHeight(int points, int dpi) {
    // Points are 1/72 inch: 20 twips each.
    return -TwipsToPixels(points * 20, dpi);
}

PixelSize ClientSize(const Form& form, int dpi) {
    return {TwipsToPixels(form.clientWidth, dpi), TwipsToPixels(form.clientHeight, dpi)};
}

PixelRect ControlRect(const Form& form, const Control& control, int dpi) {
    PixelSize container = ClientSize(form, dpi);
    if (!control.container.empty()) {
        if (const Control* parent = Find(form, control.container)) {
            const PixelRect r = ControlRect(form, *parent, dpi);
            container = {r.Width(), r.Height()};
        }
    }
    if (control.dock == Dock::Bottom) {
        const int height = TwipsToPixels(control.height, dpi);
        return {0, container.height - height, container.width, container.height};
    }
    return {TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
            TwipsToPixels(control.left + control.width, dpi), TwipsToPixels(control.top + control.height, dpi)};
}

}  // namespace tarn::design
