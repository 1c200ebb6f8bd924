// Where the two windows stand: the main window's place after its start-up
// step, the reminder's when it loads, and the centring both begin with, on
// ordinary, short, high-DPI and second screens.
#include <gtest/gtest.h>

#include <string>

#include "windows/Placement.h"

namespace tarn::testing {
namespace {

// An ordinary 1280 x 1024 screen with a 40-pixel taskbar at the bottom.
const Screen kOrdinary{{0, 0, 1280, 1024}, {0, 0, 1280, 984}, 96};

struct CentreCase {
    const char* name;
    PixelSize size;
    PixelRect monitor;
    PixelRect expected;
};

class Centring : public ::testing::TestWithParam<CentreCase> {};

TEST_P(Centring, OnTheMonitorRoundedTowardsItsTopLeft) {
    EXPECT_EQ(CentredOn(GetParam().size, GetParam().monitor), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Centring,
    ::testing::Values(CentreCase{"MainWindow", {570, 196}, {0, 0, 1280, 1024}, {355, 414, 925, 610}},
                      // An odd spare pixel stays on the right and at the bottom.
                      CentreCase{"OddSpare", {493, 135}, {0, 0, 1280, 1024}, {393, 444, 886, 579}},
                      CentreCase{"SecondMonitor", {570, 196}, {1280, 0, 2560, 1024}, {1635, 414, 2205, 610}},
                      // A monitor left of and above the primary one.
                      CentreCase{"NegativeOrigin", {570, 196}, {-1280, -200, 0, 824}, {-925, 214, -355, 410}},
                      // Larger than the monitor: it overhangs both sides alike.
                      CentreCase{"LargerThanTheMonitor", {700, 300}, {0, 0, 640, 240}, {-30, -30, 670, 270}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MainPlaceCase {
    const char* name;
    PixelRect outer;
    Screen screen;
    PixelRect expected;
};

class MainPlacement : public ::testing::TestWithParam<MainPlaceCase> {};

TEST_P(MainPlacement, BottomAboveTheScreenEdgeKeptInsideTheWorkArea) {
    const MainPlaceCase& c = GetParam();
    EXPECT_EQ(MainWindowPlace(c.outer, c.screen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainPlacement,
    ::testing::Values(
        // 1024 - 196 - 60: inside the work area, so nothing changes.
        MainPlaceCase{"Ordinary", {355, 414, 925, 610}, kOrdinary, {355, 768, 925, 964}},
        // A taller taskbar (work area ends at 900) pushes it up to end there.
        MainPlaceCase{
            "TallTaskbar", {355, 414, 925, 610}, {{0, 0, 1280, 1024}, {0, 0, 1280, 900}, 96}, {355, 704, 925, 900}},
        // 300 - 196 - 60 = 44 lies inside a 300-high screen's work area.
        MainPlaceCase{
            "SmallScreenStillFits", {0, 0, 570, 196}, {{0, 0, 640, 300}, {0, 0, 640, 300}, 96}, {0, 44, 570, 240}},
        // 240 - 196 - 60 = -16 would cut off the caption: clamped to the top.
        MainPlaceCase{
            "ShortScreenClampedToTop", {35, 22, 605, 218}, {{0, 0, 640, 240}, {0, 0, 640, 240}, 96}, {35, 0, 605, 196}},
        // Taskbar at the top: the work area begins at 30.
        MainPlaceCase{"ShortScreenTaskbarOnTop",
                      {35, 22, 605, 218},
                      {{0, 0, 640, 240}, {0, 30, 640, 240}, 96},
                      {35, 30, 605, 226}},
        // Taller than the work area: its caption stays reachable.
        MainPlaceCase{
            "TallerThanWorkArea", {35, 22, 605, 318}, {{0, 0, 640, 240}, {0, 0, 640, 220}, 96}, {35, 0, 605, 296}},
        // At 144 DPI 900 twips are 90 pixels.
        MainPlaceCase{
            "HighDpi", {500, 300, 1350, 594}, {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 144}, {500, 696, 1350, 990}},
        // On a second monitor the screen's bottom is that monitor's.
        MainPlaceCase{"SecondMonitor",
                      {1635, 414, 2205, 610},
                      {{1280, 0, 2560, 1024}, {1280, 0, 2560, 1024}, 96},
                      {1635, 768, 2205, 964}},
        // A window left partly off the side is brought inside.
        MainPlaceCase{"OffTheRightEdge", {1000, 414, 1570, 610}, kOrdinary, {710, 768, 1280, 964}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReminderPlaceCase {
    const char* name;
    PixelSize size;
    PixelRect mainWindow;
    Screen screen;
    PixelRect expected;
};

class ReminderPlacement : public ::testing::TestWithParam<ReminderPlaceCase> {};

TEST_P(ReminderPlacement, BelowOrAboveTheMainWindowCentredOnTheScreen) {
    const ReminderPlaceCase& c = GetParam();
    EXPECT_EQ(ReminderPlace(c.size, c.mainWindow, c.screen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReminderPlacement,
    ::testing::Values(
        // Main window moved up by the user: room below it.
        ReminderPlaceCase{"Below", {493, 135}, {355, 100, 925, 296}, kOrdinary, {393, 296, 886, 431}},
        // Exactly fits: its bottom on the work area's bottom.
        ReminderPlaceCase{"BelowExactFit", {493, 135}, {355, 653, 925, 849}, kOrdinary, {393, 849, 886, 984}},
        // Where the start-up step puts the main window there is no room below.
        ReminderPlaceCase{"AboveAfterStartUp", {493, 135}, {355, 768, 925, 964}, kOrdinary, {393, 633, 886, 768}},
        ReminderPlaceCase{"AboveOneTooFew", {493, 135}, {355, 654, 925, 850}, kOrdinary, {393, 519, 886, 654}},
        // Neither below nor above fits: kept inside at the top.
        ReminderPlaceCase{"ClampedOnShortScreen",
                          {493, 135},
                          {35, 0, 605, 196},
                          {{0, 0, 640, 240}, {0, 0, 640, 240}, 96},
                          {73, 0, 566, 135}},
        // Main window dragged partly below the screen: above it, inside.
        ReminderPlaceCase{"MainWindowOffTheBottom", {493, 135}, {355, 950, 925, 1146}, kOrdinary, {393, 815, 886, 950}},
        // Main window dragged above the screen's top: below it fits.
        ReminderPlaceCase{"MainWindowOffTheTop", {493, 135}, {355, -100, 925, 96}, kOrdinary, {393, 96, 886, 231}},
        // Centred on the main window's monitor, not on the first one.
        ReminderPlaceCase{"SecondMonitor",
                          {493, 135},
                          {1635, 100, 2205, 296},
                          {{1280, 0, 2560, 1024}, {1280, 0, 2560, 984}, 96},
                          {1673, 296, 2166, 431}},
        // A wide bar on the left: centring would reach into it.
        ReminderPlaceCase{"SideBarClamps",
                          {493, 135},
                          {355, 100, 925, 296},
                          {{0, 0, 1280, 1024}, {500, 0, 1280, 1024}, 96},
                          {500, 296, 993, 431}},
        // At 144 DPI the sizes are larger; the rule is the same.
        ReminderPlaceCase{"HighDpi",
                          {740, 200},
                          {500, 696, 1350, 990},
                          {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 144},
                          {590, 496, 1330, 696}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::testing
