// The design tables as the windows build from them: every control there once,
// the texts the user sees exactly as they must read, each button wired to its
// own work, the tab order, and a geometry that holds at every DPI (no gaps,
// no overlaps, the strip docked).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "launch/Deployment.h"
#include "windows/CaptionFit.h"
#include "windows/Designs.h"

namespace tarn::design {
namespace {

using testing::kDeploy;

const int kDpis[] = {96, 120, 144, 168, 192, 240, 288};

template <typename Id>
int RowsOf(const Form<Id>& form, Id id) {
    return static_cast<int>(
        std::count_if(form.controls.begin(), form.controls.end(), [id](const Control<Id>& c) { return c.id == id; }));
}

// What each control of the main window says and what a click on it does.
struct MainRow {
    MainControl id;
    Kind kind;
    std::string caption;
    Click click;
};

const MainRow kMainRows[] = {
    {MainControl::AnyDeskGsn, Kind::Button, "AnyDesk (GSN)", Click::AnyDeskGsn},
    {MainControl::AnyDesk, Kind::Button, "AnyDesk", Click::AnyDesk},
    {MainControl::RustDesk, Kind::Button, "RustDesk", Click::RustDesk},
    {MainControl::RustDeskOwnServer, Kind::Button, "RustDesk (tarn)", Click::RustDeskOwnServer},
    {MainControl::Aweray, Kind::Button, "Aweray", Click::Aweray},
    {MainControl::BottomStrip, Kind::Panel, "", Click::None},
    {MainControl::BottomLabel, Kind::Label, "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)", Click::About},
    {MainControl::About, Kind::Button, "聯絡小森", Click::About},
    {MainControl::AeroAdmin, Kind::Button, "AeroAdmin", Click::AeroAdmin},
    {MainControl::Ie11, Kind::Button, "傳統IE11 (tarn-IE11)", Click::Ie11},
    {MainControl::TrustViewer, Kind::Button, "TrustViewer", Click::None},
    {MainControl::AnyViewer, Kind::Button, "AnyViewer", Click::None},
};

TEST(MainDesign, EveryControlOnceWithItsTextAndItsOwnClick) {
    const Form<MainControl> form = MainWindowDesign(kDeploy);
    EXPECT_EQ(form.caption, "遠端維修");
    ASSERT_EQ(std::size(kMainRows), static_cast<size_t>(kMainControlCount));
    EXPECT_EQ(form.controls.size(), std::size(kMainRows));
    for (const MainRow& row : kMainRows) {
        SCOPED_TRACE(row.caption);
        ASSERT_EQ(RowsOf(form, row.id), 1);
        const Control<MainControl>& c = form.At(row.id);
        EXPECT_EQ(c.kind, row.kind);
        EXPECT_EQ(c.caption, row.caption);
        EXPECT_EQ(c.click, row.click);
    }
    // The label is the strip's; everything else stands in the client area.
    for (const Control<MainControl>& c : form.controls) {
        const std::optional<MainControl> expected =
            c.id == MainControl::BottomLabel ? std::optional(MainControl::BottomStrip) : std::nullopt;
        EXPECT_EQ(c.container, expected) << c.caption;
    }
}

TEST(MainDesign, TabOrderBeginsWithGsnAndTheLabelFollowsItsStrip) {
    const Form<MainControl> form = MainWindowDesign(kDeploy);
    std::vector<std::string> captions;
    std::vector<MainControl> seen;
    for (const Control<MainControl>* c : InTabOrder(form)) {
        captions.push_back(c->caption);
        // The window creates a container before what it holds.
        if (c->container) {
            EXPECT_NE(std::find(seen.begin(), seen.end(), *c->container), seen.end());
        }
        seen.push_back(c->id);
    }
    EXPECT_THAT(captions, ::testing::ElementsAre("AnyDesk (GSN)", "AnyDesk", "RustDesk", "RustDesk (tarn)", "Aweray",
                                                 "", "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)", "聯絡小森",
                                                 "AeroAdmin", "傳統IE11 (tarn-IE11)", "TrustViewer", "AnyViewer"));
}

TEST(MainDesign, ButtonsOverlapByOnePixelAtNinetySixDpi) {
    const Form<MainControl> form = MainWindowDesign(kDeploy);
    const int kDpi = 96;
    const PixelRect strip = ControlRect(form, MainControl::BottomStrip, kDpi);
    for (const Control<MainControl>& a : form.controls) {
        if (a.kind != Kind::Button) continue;
        const PixelRect ra = ControlRect(form, a.id, kDpi);
        SCOPED_TRACE(a.caption);
        EXPECT_EQ(ra.Width(), 113);
        EXPECT_EQ(ra.Height(), 65);
        EXPECT_LE(ra.bottom, strip.top) << "the buttons end above the bottom strip";
        for (const Control<MainControl>& b : form.controls) {
            if (b.kind != Kind::Button) continue;
            const PixelRect rb = ControlRect(form, b.id, kDpi);
            if (rb.top == ra.top && rb.left > ra.left && rb.left < ra.right) {
                EXPECT_EQ(ra.right - rb.left, 1) << b.caption;
            }
            if (rb.left == ra.left && rb.top > ra.top && rb.top < ra.bottom) {
                EXPECT_EQ(ra.bottom - rb.top, 1) << b.caption;
            }
        }
    }
    // Every button but the last of a row and column has a neighbour it overlaps.
    EXPECT_EQ(ControlRect(form, MainControl::AnyDesk, kDpi), (PixelRect{112, 0, 225, 65}));
    EXPECT_EQ(ControlRect(form, MainControl::AnyDeskGsn, kDpi), (PixelRect{112, 64, 225, 129}));
    EXPECT_EQ(ControlRect(form, MainControl::About, kDpi), (PixelRect{448, 64, 561, 129}));
}

// Rounding at other scales must not open a gap under the docked strip or let
// it fall short of the window's width.
TEST(MainDesign, BottomStripStaysDockedAtEveryDpi) {
    const Form<MainControl> form = MainWindowDesign(kDeploy);
    EXPECT_EQ(ClientSize(form, 96), (PixelSize{563, 167}));
    for (int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        const PixelSize client = ClientSize(form, dpi);
        const PixelRect strip = ControlRect(form, MainControl::BottomStrip, dpi);
        EXPECT_EQ(strip.left, 0);
        EXPECT_EQ(strip.right, client.width);
        EXPECT_EQ(strip.bottom, client.height);
        EXPECT_EQ(strip.Height(), TwipsToPixels(495, dpi));
        const PixelRect label = ControlRect(form, MainControl::BottomLabel, dpi);
        EXPECT_LE(label.right, strip.Width());
        EXPECT_LE(label.bottom, strip.Height());
        // Neighbouring buttons share their common edge at every scale.
        const PixelRect left = ControlRect(form, MainControl::RustDesk, dpi);
        const PixelRect right = ControlRect(form, MainControl::AnyDesk, dpi);
        EXPECT_GT(left.right, right.left);
        EXPECT_LE(left.bottom, strip.top);
    }
}

// While a file downloads, the strip's line, bar and cancel button stand side
// by side inside it at every scale, the line keeping the most room.
TEST(MainDesign, DownloadProgressFitsTheStripAtEveryDpi) {
    const Form<MainControl> form = MainWindowDesign(kDeploy);
    const ProgressDesign design = DownloadProgressDesign();
    for (int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        const PixelSize strip = ControlRect(form, MainControl::BottomStrip, dpi).Size();
        const ProgressRects r = ProgressLayout(design, strip, dpi);
        for (const PixelRect& control : {r.line, r.sizes, r.bar, r.cancel}) {
            EXPECT_GT(control.Width(), 0);
            EXPECT_GT(control.Height(), 0);
            EXPECT_TRUE(control.left >= 0 && control.top >= 0 && control.right <= strip.width &&
                        control.bottom <= strip.height);
            // Centred on the strip's height.
            EXPECT_EQ(control.top, strip.height - control.bottom);
        }
        EXPECT_LE(r.line.right, r.sizes.left);
        EXPECT_LT(r.sizes.right, r.bar.left);
        EXPECT_LT(r.bar.right, r.cancel.left);
        EXPECT_GT(r.line.Width(), r.bar.Width() + r.cancel.Width());
    }
}

// A caption breaks at blanks only; when a word or the block of lines does not
// fit the room, it is set a size smaller until it does, down to the smallest.
TEST(CaptionFit, BreaksAtBlanksAndShrinksUntilItFits) {
    // A fake font: each byte points / 2 pixels wide, each line points high.
    const MeasureText measure = [](int points, const std::string& text) {
        return PixelSize{static_cast<int>(text.size()) * (points / 2), points};
    };
    struct Case {
        const char* caption;
        PixelSize room;
        int points;
        std::vector<std::string> lines;
        bool fits;
    };
    const Case cases[] = {
        {"AnyDesk (GSN)", {100, 40}, 12, {"AnyDesk (GSN)"}, true},
        {"AnyDesk (GSN)", {60, 40}, 12, {"AnyDesk", "(GSN)"}, true},
        // A word wider than the line is not broken: the size goes down.
        {"(tarn-IE11-x)", {60, 40}, 9, {"(tarn-IE11-x)"}, true},
        // Two lines too high for the room.
        {"RustDesk (tarn)", {60, 20}, 10, {"RustDesk", "(tarn)"}, true},
        {"wordwordword", {10, 40}, 7, {"wordwordword"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        const CaptionSetting setting = FitCaption(c.caption, c.room, 12, 7, measure);
        EXPECT_EQ(setting.points, c.points);
        EXPECT_EQ(setting.lines, c.lines);
        EXPECT_EQ(setting.fits, c.fits);
    }
}

TEST(ReminderDesign, EveryLabelOnceWithItsText) {
    const Form<ReminderControl> form = ReminderDesign(kDeploy);
    EXPECT_EQ(form.caption, "小森遠端協助");
    EXPECT_EQ(form.controls.size(), static_cast<size_t>(kReminderControlCount));
    for (ReminderControl id : {ReminderControl::Message, ReminderControl::Contact}) EXPECT_EQ(RowsOf(form, id), 1);
    EXPECT_EQ(form.At(ReminderControl::Message).caption, "請 聯 絡 ( 小 森 )   告 知 您 的 號 碼");
    EXPECT_EQ(form.At(ReminderControl::Contact).caption, "Line: 02-1234-5678  /  網站：dl.test:8080 ");
    for (const Control<ReminderControl>& c : form.controls) EXPECT_EQ(c.click, Click::None) << c.caption;
}

// The message spans the window above the contact line, whose bottom meets
// the window's at every scale; the contact line reaches past the right edge
// on purpose, and the window clips it.
TEST(ReminderDesign, LabelsStackWithoutGapOrOverlapAtEveryDpi) {
    const Form<ReminderControl> form = ReminderDesign(kDeploy);
    EXPECT_EQ(ClientSize(form, 96), (PixelSize{485, 111}));
    for (int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        const PixelSize client = ClientSize(form, dpi);
        const PixelRect message = ControlRect(form, ReminderControl::Message, dpi);
        const PixelRect contact = ControlRect(form, ReminderControl::Contact, dpi);
        EXPECT_EQ(message.left, 0);
        EXPECT_EQ(message.right, client.width);
        EXPECT_LT(message.bottom, contact.top);
        EXPECT_EQ(contact.left, 0);
        EXPECT_GT(contact.right, client.width);
        EXPECT_EQ(contact.bottom, client.height);
    }
}

struct Conversion {
    int twips, dpi, pixels;
};

TEST(TwipsToPixels, RoundsHalfAwayFromZeroAtTheGivenDpi) {
    const Conversion cases[] = {
        {15, 96, 1},     {8445, 96, 563}, {2505, 96, 167},  {7, 96, 0},       {8, 96, 1},
        {900, 96, 60},   {900, 144, 90},  {1695, 144, 170}, {1695, 120, 141}, {900, 120, 75},
        {-900, 96, -60}, {-8, 96, -1},    {-7, 96, 0},      {0, 96, 0},       {8445, 192, 1126},
    };
    for (const Conversion& c : cases) EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
}

TEST(FontHeight, PointsToNegativePixelHeight) {
    const Conversion cases[] = {{12, 96, -16}, {18, 96, -24}, {12, 120, -20}, {12, 144, -24}, {18, 144, -36}};
    for (const Conversion& c : cases) EXPECT_EQ(FontHeight(c.twips, c.dpi), c.pixels) << c.twips << "pt at " << c.dpi;
}

}  // namespace
}  // namespace tarn::design
