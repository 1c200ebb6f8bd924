#include "windows/Designs.h"

#include "launch/Deployment.h"

namespace tarn::design {

namespace {

const Font kWindowFont{kWindowFontFace, 12, 400, 136};

// A button of the main window: every one is 15 twips wider and higher than
// the grid step, so that neighbours overlap by one pixel at 96 DPI and their
// borders coincide.
Control<MainControl> Button(Control<MainControl> c) {
    c.kind = Kind::Button;
    c.width = 1695;
    c.height = 975;
    c.align = Align::Center;
    return c;
}

}  // namespace

Form<MainControl> MainWindowDesign(const Deployment& deploy) {
    using enum MainControl;
    // clang-format off
    return {
        .caption = "遠端維修",
        .clientWidth = 8445,
        .clientHeight = 2505,
        .font = kWindowFont,
        .back = std::nullopt,
        .controls = {
            Button({.id = RustDesk, .caption = "RustDesk", .left = 0, .top = 0,
                    .back = Rgb{192, 255, 255}, .click = Click::RustDesk}),
            Button({.id = AnyDesk, .caption = "AnyDesk", .left = 1680, .top = 0,
                    .back = Rgb{255, 192, 192}, .click = Click::AnyDesk}),
            Button({.id = Aweray, .caption = "Aweray", .left = 3360, .top = 0,
                    .back = Rgb{255, 224, 192}, .click = Click::Aweray}),
            Button({.id = AeroAdmin, .caption = "AeroAdmin", .left = 5040, .top = 0,
                    .back = Rgb{192, 255, 192}, .click = Click::AeroAdmin}),
            Button({.id = Ie11, .caption = "傳統IE11 (tarn-IE11)", .left = 6720, .top = 0,
                    .back = Rgb{255, 255, 192}, .click = Click::Ie11}),
            Button({.id = RustDeskOwnServer, .caption = "RustDesk (tarn)", .left = 0, .top = 960,
                    .back = Rgb{128, 255, 255}, .click = Click::RustDeskOwnServer}),
            Button({.id = AnyDeskGsn, .caption = "AnyDesk (GSN)", .left = 1680, .top = 960,
                    .back = Rgb{255, 128, 128}, .click = Click::AnyDeskGsn}),
            Button({.id = TrustViewer, .caption = "TrustViewer", .left = 3360, .top = 960,
                    .back = Rgb{128, 255, 128}, .click = Click::None}),
            Button({.id = AnyViewer, .caption = "AnyViewer", .left = 5040, .top = 960,
                    .back = Rgb{255, 128, 255}, .click = Click::None}),
            Button({.id = About, .caption = "聯絡小森", .left = 6720, .top = 960,
                    .back = Rgb{192, 192, 255}, .click = Click::About}),
            {.id = BottomStrip, .kind = Kind::Panel, .left = 0, .top = 2010, .width = 8445, .height = 495,
             .dock = Dock::Bottom},
            {.id = BottomLabel, .kind = Kind::Label,
             .caption = "遠端協助 (tarn-kit)  網站：" + deploy.webHost + "  (20231104)",
             .left = 0, .top = 0, .width = 8370, .height = 420, .back = Rgb{255, 255, 192},
             .container = BottomStrip, .align = Align::Center, .click = Click::About},
        },
    };
    // clang-format on
}

Form<ReminderControl> ReminderDesign(const Deployment& deploy) {
    using enum ReminderControl;
    // clang-format off
    return {
        .caption = "小森遠端協助",
        .clientWidth = 7275,
        .clientHeight = 1665,
        .font = kWindowFont,
        .back = Rgb{244, 230, 255},
        .controls = {
            {.id = Message, .kind = Kind::Label, .caption = kReminderDesignText,
             .left = 0, .top = 360, .width = 7275, .height = 585,
             .back = Rgb{192, 192, 255}, .fore = Rgb{0, 0, 255}, .font = Font{kWindowFontFace, 18, 700, 136},
             .align = Align::Center},
            // 120 twips wider than the client area; the window clips the rest.
            {.id = Contact, .kind = Kind::Label,
             .caption = "Line: " + deploy.supportPhone + "  /  網站：" + deploy.webHost + " ",
             .left = 0, .top = 1320, .width = 7395, .height = 345,
             .back = Rgb{255, 255, 192}, .fore = Rgb{0, 0, 255}, .align = Align::Center},
        },
    };
    // clang-format on
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
    // clang-format off
    return {
        .margin = 60,
        .cancelWidth = 1335,
        .cancelInset = 45,
        .barWidth = 1755,
        .barInset = 105,
        .sizesWidth = 1800,
        // The window's size: the line is what the person reads while waiting.
        .font = Font{kWindowFontFace, 12, 400, 136},
        .sizesFont = Font{kWindowFontFace, 9, 400, 136},
    };
    // clang-format on
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
