#include "windows/Colours.h"

namespace tarn::colours {

namespace {

std::uint8_t Halfway(std::uint8_t from, std::uint8_t to) {
    return static_cast<std::uint8_t>((static_cast<int>(from) + to + 1) / 2);
}

}  // namespace

design::Rgb Dimmed(design::Rgb fill) {
    return {Halfway(fill.r, kDimGrey.r), Halfway(fill.g, kDimGrey.g), Halfway(fill.b, kDimGrey.b)};
}

Look LookOf(Role role, const std::optional<design::Rgb>& back, const std::optional<design::Rgb>& fore, State state,
            bool highContrast) {
    const bool disabled = state == State::Disabled;
    if (highContrast) {
        const bool button = role == Role::Button;
        return {button ? System::ButtonFace : System::Window,
                disabled ? System::GrayText : (button ? System::ButtonText : System::WindowText), System::Highlight};
    }
    // Without a fill of its own the control stands on the system's face; a
    // fixed text on it would be the mix this avoids.
    if (!back) return {System::ButtonFace, disabled ? System::GrayText : System::ButtonText, System::ButtonText};
    if (disabled) return {role == Role::Button ? Dimmed(*back) : *back, kDisabledText, kFocusFrame};
    return {*back, fore.value_or(kCaptionText), kFocusFrame};
}

}  // namespace tarn::colours
