#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "windows/Designs.h"

namespace tarn::design {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const Deployment kDeploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};

struct ControlRow {
    const char* name;
    Kind kind;
    std::string caption;
    int left, top, width, height;
    std::optional<Rgb> back;
    int tabIndex;
    const char* container;
    Dock dock;
    Align align;
    Click click;
};

// The main window's controls exactly as the window must show them.
const ControlRow kMainRows[] = {
    {"cmdRustDesk", Kind::Button, "RustDesk", 0, 0, 1695, 975, Rgb{192, 255, 255}, 2, "", Dock::None, Align::Center, Click::RustDesk},
    {"cmdAnydesk", Kind::Button, "AnyDesk", 1680, 0, 1695, 975, Rgb{255, 192, 192}, 1, "", Dock::None, Align::Center, Click::Anydesk},
    {"cmdAweray", Kind::Button, "Aweray", 3360, 0, 1695, 975, Rgb{255, 224, 192}, 4, "", Dock::None, Align::Center, Click::Aweray},
    {"Command1", Kind::Button, "AeroAdmin", 5040, 0, 1695, 975, Rgb{192, 255, 192}, 8, "", Dock::None, Align::Center, Click::AeroAdmin},
    {"cmdIE11", Kind::Button, "傳統IE11 (tarn-IE11)", 6720, 0, 1695, 975, Rgb{255, 255, 192}, 9, "", Dock::None, Align::Center, Click::Ie11},
    {"cmdRustDeskGSN", Kind::Button, "RustDesk (tarn)", 0, 960, 1695, 975, Rgb{128, 255, 255}, 3, "", Dock::None, Align::Center, Click::RustDeskOwn},
    {"cmdAnydeskGSN", Kind::Button, "AnyDesk (GSN)", 1680, 960, 1695, 975, Rgb{255, 128, 128}, 0, "", Dock::None, Align::Center, Click::AnydeskGsn},
    {"cmdTrustViewer", Kind::Button, "TrustViewer", 3360, 960, 1695, 975, Rgb{128, 255, 128}, 10, "", Dock::None, Align::Center, Click::None},
    {"cmdAnyViewer", Kind::Button, "AnyViewer", 5040, 960, 1695, 975, Rgb{255, 128, 255}, 11, "", Dock::None, Align::Center, Click::None},
    {"cmdAbout", Kind::Button, "聯絡小森", 6720, 960, 1695, 975, Rgb{192, 192, 255}, 7, "", Dock::None, Align::Center, Click::About},
    {"picBottom", Kind::PictureBox, "", 0, 2010, 8445, 495, std::nullopt, 5, "", Dock::Bottom, Align::Left, Click::None},
    {"lblBottom", Kind::Label, "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)", 0, 0, 8370, 420, Rgb{255, 255, 192}, 6,
     "picBottom", Dock::None, Align::Center, Click::About},
};

const ControlRow kTopMsgRows[] = {
    {"lblTopMsg", Kind::Label, "請 聯 絡 ( 小 森 )   告 知 您 的 號 碼", 0, 360, 7275, 585, Rgb{192, 192, 255}, 0, "",
     Dock::None, Align::Center, Click::None},
    {"Label2", Kind::Label, "Line: 02-1234-5678  /  網站：dl.test:8080 ", 0, 1320, 7395, 345, Rgb{255, 255, 192}, 1, "",
     Dock::None, Align::Center, Click::None},
};

void ExpectRows(const Form& form, const ControlRow* begin, const ControlRow* end) {
    ASSERT_EQ(form.controls.size(), static_cast<size_t>(end - begin));
    for (const ControlRow* row = begin; row != end; ++row) {
        SCOPED_TRACE(row->name);
        const Control* c = Find(form, row->name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind, row->kind);
        EXPECT_EQ(c->caption, row->caption);
        EXPECT_EQ(c->left, row->left);
        EXPECT_EQ(c->top, row->top);
        EXPECT_EQ(c->width, row->width);
        EXPECT_EQ(c->height, row->height);
        EXPECT_EQ(c->back, row->back);
        EXPECT_EQ(c->tabIndex, row->tabIndex);
        EXPECT_EQ(c->container, row->container);
        EXPECT_EQ(c->dock, row->dock);
        EXPECT_EQ(c->align, row->align);
        EXPECT_EQ(c->click, row->click);
    }
}

TEST(MainDesign, ControlsMatchTheDesign) {
    ExpectRows(MainForm(kDeploy), std::begin(kMainRows), std::end(kMainRows));
}

TEST(MainDesign, WindowAttributes) {
    const Form form = MainForm(kDeploy);
    EXPECT_EQ(form.caption, "遠端維修");
    EXPECT_EQ(form.clientWidth, 8445);
    EXPECT_EQ(form.clientHeight, 2505);
    EXPECT_EQ(form.font, (Font{"微軟正黑體", 12, 400, 136}));
    EXPECT_FALSE(form.back.has_value()) << "the main window uses the system's button face";
    for (const Control& c : form.controls) EXPECT_FALSE(c.font.has_value()) << c.name << " uses the window font";
}

TEST(MainDesign, TabOrderBeginsWithGsnAndLabelFollowsItsStrip) {
    std::vector<std::string> names;
    for (const Control* c : InTabOrder(MainForm(kDeploy))) names.push_back(c->name);
    EXPECT_THAT(names, ElementsAre("cmdAnydeskGSN", "cmdAnydesk", "cmdRustDesk", "cmdRustDeskGSN", "cmdAweray",
                                   "picBottom", "lblBottom", "cmdAbout", "Command1", "cmdIE11", "cmdTrustViewer",
                                   "cmdAnyViewer"));
}

TEST(MainDesign, ButtonsOverlapByOnePixelAtNinetySixDpi) {
    const Form form = MainForm(kDeploy);
    const int kDpi = 96;
    const PixelRect strip = ControlRect(form, *Find(form, "picBottom"), kDpi);
    for (const Control& a : form.controls) {
        if (a.kind != Kind::Button) continue;
        const PixelRect ra = ControlRect(form, a, kDpi);
        SCOPED_TRACE(a.name);
        EXPECT_EQ(ra.Width(), 113);
        EXPECT_EQ(ra.Height(), 65);
        EXPECT_LE(ra.bottom, strip.top) << "the buttons end above the bottom strip";
        for (const Control& b : form.controls) {
            if (b.kind != Kind::Button) continue;
            const PixelRect rb = ControlRect(form, b, kDpi);
            if (rb.top == ra.top && rb.left > ra.left && rb.left < ra.right) {
                EXPECT_EQ(ra.right - rb.left, 1) << b.name;
            }
            if (rb.left == ra.left && rb.top > ra.top && rb.top < ra.bottom) {
                EXPECT_EQ(ra.bottom - rb.top, 1) << b.name;
            }
        }
    }
    // Every button but the last of a row and column has a neighbour it overlaps.
    EXPECT_EQ(ControlRect(form, *Find(form, "cmdAnydesk"), kDpi), (PixelRect{112, 0, 225, 65}));
    EXPECT_EQ(ControlRect(form, *Find(form, "cmdAnydeskGSN"), kDpi), (PixelRect{112, 64, 225, 129}));
    EXPECT_EQ(ControlRect(form, *Find(form, "cmdAbout"), kDpi), (PixelRect{448, 64, 561, 129}));
}

TEST(MainDesign, BottomStripAndLabelAtNinetySixDpi) {
    const Form form = MainForm(kDeploy);
    EXPECT_EQ(ClientSize(form, 96), (PixelSize{563, 167}));
    EXPECT_EQ(ControlRect(form, *Find(form, "picBottom"), 96), (PixelRect{0, 134, 563, 167}));
    EXPECT_EQ(ControlRect(form, *Find(form, "lblBottom"), 96), (PixelRect{0, 0, 558, 28}));
}

// Rounding at other scales must not open a gap under the docked strip or let
// it fall short of the window's width.
TEST(MainDesign, BottomStripStaysDockedAtEveryDpi) {
    const Form form = MainForm(kDeploy);
    for (int dpi : {96, 120, 144, 168, 192, 240, 288}) {
        SCOPED_TRACE(dpi);
        const PixelSize client = ClientSize(form, dpi);
        const PixelRect strip = ControlRect(form, *Find(form, "picBottom"), dpi);
        EXPECT_EQ(strip.left, 0);
        EXPECT_EQ(strip.right, client.width);
        EXPECT_EQ(strip.bottom, client.height);
        EXPECT_EQ(strip.Height(), TwipsToPixels(495, dpi));
        const PixelRect label = ControlRect(form, *Find(form, "lblBottom"), dpi);
        EXPECT_LE(label.right, strip.Width());
        EXPECT_LE(label.bottom, strip.Height());
        // Neighbouring buttons share their common edge at every scale.
        const PixelRect left = ControlRect(form, *Find(form, "cmdRustDesk"), dpi);
        const PixelRect right = ControlRect(form, *Find(form, "cmdAnydesk"), dpi);
        EXPECT_GT(left.right, right.left);
        EXPECT_LE(left.bottom, strip.top);
    }
}

TEST(TopMsgDesign, WindowAndLabels) {
    const Form form = TopMsgForm(kDeploy);
    EXPECT_EQ(form.caption, "小森遠端協助");
    EXPECT_EQ(form.clientWidth, 7275);
    EXPECT_EQ(form.clientHeight, 1665);
    EXPECT_EQ(ClientSize(form, 96), (PixelSize{485, 111}));
    EXPECT_EQ(form.back, (Rgb{244, 230, 255}));
    EXPECT_EQ(form.font, (Font{"微軟正黑體", 12, 400, 136}));
    ExpectRows(form, std::begin(kTopMsgRows), std::end(kTopMsgRows));

    const Control& message = *Find(form, "lblTopMsg");
    EXPECT_EQ(message.fore, (Rgb{0, 0, 255}));
    EXPECT_EQ(message.font, (Font{"微軟正黑體", 18, 700, 136}));
    const Control& contact = *Find(form, "Label2");
    EXPECT_EQ(contact.fore, (Rgb{0, 0, 255}));
    EXPECT_FALSE(contact.font.has_value()) << "the contact line uses the window font";
    // The contact line reaches 8 pixels past the client area and its bottom
    // meets the window's.
    EXPECT_EQ(ControlRect(form, contact, 96), (PixelRect{0, 88, 493, 111}));
    EXPECT_EQ(ControlRect(form, message, 96), (PixelRect{0, 24, 485, 63}));
}

struct Conversion {
    int twips, dpi, pixels;
};

TEST(TwipsToPixels, RoundsHalfAwayFromZeroAtTheGivenDpi) {
    const Conversion cases[] = {
        {15, 96, 1},    {8445, 96, 563}, {2505, 96, 167}, {7, 96, 0},      {8, 96, 1},   {900, 96, 60},
        {900, 144, 90}, {1695, 144, 170}, {1695, 120, 141}, {900, 120, 75}, {-900, 96, -60}, {-8, 96, -1},
        {-7, 96, 0},    {0, 96, 0},      {8445, 192, 1126},
    };
    for (const Conversion& c : cases) EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
}

TEST(FontHeight, PointsToNegativePixelHeight) {
    const Conversion cases[] = {{12, 96, -16}, {18, 96, -24}, {12, 120, -20}, {12, 144, -24}, {18, 144, -36}};
    for (const Conversion& c : cases) EXPECT_EQ(FontHeight(c.twips, c.dpi), c.pixels) << c.twips << "pt at " << c.dpi;
}

}  // namespace
}  // namespace tarn::design
