// The colours the windows draw in: readable captions on every button's fill,
// normal and disabled, and nothing but system colours under high contrast.
#include <gtest/gtest.h>

#include <cmath>
#include <variant>

#include "Fixtures.h"
#include "launch/Deployment.h"
#include "windows/Colours.h"

namespace tarn::colours {
namespace {

using testing::kDeploy;

// WCAG 2 relative luminance and contrast ratio.
double Luminance(design::Rgb c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double Contrast(const Colour& a, const Colour& b) {
    const double la = Luminance(std::get<design::Rgb>(a)), lb = Luminance(std::get<design::Rgb>(b));
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

constexpr State kStates[] = {State::Normal, State::Focused, State::Pressed, State::Disabled};

template <typename Id>
void ForEachColouredRow(const design::Form<Id>& form, auto check) {
    for (const design::Control<Id>& c : form.controls)
        if (c.back) check(c, c.kind == design::Kind::Button ? Role::Button : Role::Label);
}

TEST(Colours, FixedPairsAreReadableOnEveryFillInEveryState) {
    int buttons = 0;
    ForEachColouredRow(design::MainWindowDesign(kDeploy), [&](const auto& c, Role role) {
        buttons += role == Role::Button;
        for (State state : kStates) {
            SCOPED_TRACE(c.caption + " state " + std::to_string(static_cast<int>(state)));
            const Look look = LookOf(role, c.back, c.fore, state, false);
            ASSERT_TRUE(std::holds_alternative<design::Rgb>(look.fill)) << "a fixed fill";
            ASSERT_TRUE(std::holds_alternative<design::Rgb>(look.text)) << "a fixed fill takes a fixed text";
            EXPECT_GE(Contrast(look.fill, look.text), 4.5);
            if (state == State::Focused) {
                EXPECT_GE(Contrast(look.fill, look.focus), 3.0) << "focus frame";
            }
            if (state == State::Disabled && role == Role::Button) {
                EXPECT_NE(look.fill, Colour(*c.back)) << "a disabled button shows it by its fill";
            }
        }
    });
    EXPECT_EQ(buttons, 10);
    // The reminder's design colours are kept; the test holds them readable.
    ForEachColouredRow(design::ReminderDesign(kDeploy), [&](const auto& c, Role role) {
        SCOPED_TRACE(c.caption);
        const Look look = LookOf(role, c.back, c.fore, State::Normal, false);
        EXPECT_EQ(look.text, Colour(*c.fore));
        EXPECT_GE(Contrast(look.fill, look.text), 4.5);
    });
}

TEST(Colours, HighContrastAnswersOnlySystemColours) {
    struct Case {
        Role role;
        State state;
        System fill, text;
    };
    const Case cases[] = {
        {Role::Button, State::Normal, System::ButtonFace, System::ButtonText},
        {Role::Button, State::Pressed, System::ButtonFace, System::ButtonText},
        {Role::Button, State::Focused, System::ButtonFace, System::ButtonText},
        {Role::Button, State::Disabled, System::ButtonFace, System::GrayText},
        {Role::Label, State::Normal, System::Window, System::WindowText},
        {Role::Label, State::Disabled, System::Window, System::GrayText},
    };
    for (const design::Rgb back : {design::Rgb{255, 128, 128}, design::Rgb{255, 255, 192}})
        for (const Case& c : cases) {
            const Look look = LookOf(c.role, back, design::Rgb{0, 0, 255}, c.state, true);
            EXPECT_EQ(look.fill, Colour(c.fill));
            EXPECT_EQ(look.text, Colour(c.text));
            EXPECT_EQ(look.focus, Colour(System::Highlight));
        }
    // The system's face, which no design colour overrides, keeps system text.
    const Look face = LookOf(Role::Label, std::nullopt, std::nullopt, State::Normal, false);
    EXPECT_TRUE(std::holds_alternative<System>(face.fill) && std::holds_alternative<System>(face.text));
}

}  // namespace
}  // namespace tarn::colours
