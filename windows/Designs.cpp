#include "windows/Designs.h"

#include "launch/Deployment.h"

namespace tarn::design {

namespace {

const Font kWindowFont{kWindowFontFace, 12, 400, 136};

Control<MainControl> Button(MainControl id, std::string caption, int left, int top, Rgb back, Click click) {
    Control<MainControl> c;
    c.id = id;
    c.kind = Kind::Button;
    c.caption = std::move(caption);
    c.left = left;
    c.top = top;
    // Every button is 15 twips wider and higher than the grid step, so that
    // neighbours overlap by one pixel at 96 DPI and their borders coincide.
    c.width = 1695;
    c.height = 975;
    c.back = back;
    c.align = Align::Center;
    c.click = click;
    return c;
}

}  // namespace

Form<MainControl> MainWindowDesign(const Deployment& deploy) {
    Form<MainControl> form;
    form.caption = "遠端維修";
    form.clientWidth = 8445;
    form.clientHeight = 2505;
    form.font = kWindowFont;
    form.back = std::nullopt;

    using enum MainControl;
    form.controls = {
        Button(RustDesk, "RustDesk", 0, 0, {192, 255, 255}, Click::RustDesk),
        Button(Anydesk, "AnyDesk", 1680, 0, {255, 192, 192}, Click::Anydesk),
        Button(Aweray, "Aweray", 3360, 0, {255, 224, 192}, Click::Aweray),
        Button(AeroAdmin, "AeroAdmin", 5040, 0, {192, 255, 192}, Click::AeroAdmin),
        Button(Ie11, "傳統IE11 (tarn-IE11)", 6720, 0, {255, 255, 192}, Click::Ie11),
        Button(RustDeskOwn, "RustDesk (tarn)", 0, 960, {128, 255, 255}, Click::RustDeskOwn),
        Button(AnydeskGsn, "AnyDesk (GSN)", 1680, 960, {255, 128, 128}, Click::AnydeskGsn),
        Button(TrustViewer, "TrustViewer", 3360, 960, {128, 255, 128}, Click::None),
        Button(AnyViewer, "AnyViewer", 5040, 960, {255, 128, 255}, Click::None),
        Button(About, "聯絡小森", 6720, 960, {192, 192, 255}, Click::About),
    };

    Control<MainControl> strip;
    strip.id = BottomStrip;
    strip.kind = Kind::Panel;
    strip.left = 0;
    strip.top = 2010;
    strip.width = 8445;
    strip.height = 495;
    strip.dock = Dock::Bottom;
    form.controls.push_back(strip);

    Control<MainControl> label;
    label.id = BottomLabel;
    label.kind = Kind::Label;
    label.caption = "遠端協助 (tarn-kit)  網站：" + deploy.webHost + "  (20231104)";
    label.left = 0;
    label.top = 0;
    label.width = 8370;
    label.height = 420;
    label.back = Rgb{255, 255, 192};
    label.container = BottomStrip;
    label.align = Align::Center;
    label.click = Click::About;
    form.controls.push_back(label);
    return form;
}

Form<ReminderControl> ReminderDesign(const Deployment& deploy) {
    Form<ReminderControl> form;
    form.caption = "小森遠端協助";
    form.clientWidth = 7275;
    form.clientHeight = 1665;
    form.font = kWindowFont;
    form.back = Rgb{244, 230, 255};

    Control<ReminderControl> message;
    message.id = ReminderControl::Message;
    message.kind = Kind::Label;
    message.caption = kReminderDesignText;
    message.left = 0;
    message.top = 360;
    message.width = 7275;
    message.height = 585;
    message.fore = Rgb{0, 0, 255};
    message.back = Rgb{192, 192, 255};
    message.font = Font{kWindowFontFace, 18, 700, 136};
    message.align = Align::Center;

    Control<ReminderControl> contact;
    contact.id = ReminderControl::Contact;
    contact.kind = Kind::Label;
    contact.caption = "Line: " + deploy.supportPhone + "  /  網站：" + deploy.webHost + " ";
    contact.left = 0;
    contact.top = 1320;
    // 120 twips wider than the client area; the window clips the rest.
    contact.width = 7395;
    contact.height = 345;
    contact.fore = Rgb{0, 0, 255};
    contact.back = Rgb{255, 255, 192};
    contact.align = Align::Center;

    form.controls = {message, contact};
    return form;
}

int FontHeight(int points, int dpi) {
    // Points are 1/72 inch: 20 twips each.
    return -TwipsToPixels(points * 20, dpi);
}

PixelRect PlaceInContainer(int left, int top, int width, int height, Dock dock, PixelSize container, int dpi) {
    if (dock == Dock::Bottom) {
        const int pixels = TwipsToPixels(height, dpi);
        return {0, container.height - pixels, container.width, container.height};
    }
    return {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(left + width, dpi),
            TwipsToPixels(top + height, dpi)};
}

ProgressDesign DownloadProgressDesign() {
    ProgressDesign design;
    design.margin = 60;
    design.cancelWidth = 1335;
    design.cancelInset = 45;
    design.barWidth = 1755;
    design.barInset = 105;
    design.sizesWidth = 1800;
    // The window's size: the line is what the person reads while waiting.
    design.font = Font{kWindowFontFace, 12, 400, 136};
    design.sizesFont = Font{kWindowFontFace, 9, 400, 136};
    return design;
}

ProgressRects ProgressLayout(const ProgressDesign& design, PixelSize strip, int dpi) {
    auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    const int margin = px(design.margin);
    ProgressRects r;
    r.cancel = {strip.width - margin - px(design.cancelWidth), px(design.cancelInset), strip.width - margin,
                strip.height - px(design.cancelInset)};
    r.bar = {r.cancel.left - margin - px(design.barWidth), px(design.barInset), r.cancel.left - margin,
             strip.height - px(design.barInset)};
    r.sizes = {r.bar.left - margin - px(design.sizesWidth), 0, r.bar.left - margin, strip.height};
    r.line = {margin, 0, r.sizes.left, strip.height};
    return r;
}

ButtonInsets ButtonInsetsAt(int dpi) {
    // Pixels at 96 DPI are 15 twips.
    auto px = [dpi](int pixels96) { return TwipsToPixels(pixels96 * 15, dpi); };
    ButtonInsets insets;
    insets.focusInset = px(3);
    insets.focusWidth = px(2);
    // One pixel clear of the frame's inner side, more above and below.
    insets.textX = px(3 + 2 + 1);
    insets.textY = px(3 + 2 + 2);
    return insets;
}

}  // namespace tarn::design
