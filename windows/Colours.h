// The colours every control is drawn in, from one place. Under high contrast
// the person has chosen their colours: every answer is one of the system's,
// so a fill and the text on it come from the same chosen scheme. Otherwise
// every answer is fixed, so a fixed fill never meets a system text colour
// that another scheme made unreadable on it. Portable, so that the contrast
// of every pair is checked natively.
#pragma once

#include <optional>
#include <variant>

#include "windows/Designs.h"

namespace tarn::colours {

// The system colours drawn with; the window code turns them into
// GetSysColor indices.
enum class System { ButtonFace, ButtonText, Window, WindowText, GrayText, Highlight };

using Colour = std::variant<design::Rgb, System>;

// Buttons take the button colours under high contrast; labels, the
// download strip's line and the reminder take the window colours.
enum class Role { Button, Label };
enum class State { Normal, Focused, Pressed, Disabled };

struct Look {
    Colour fill;
    Colour text;
    Colour focus;  // the focus frame; drawn only in the focused state
};

// Captions on the design's pastel fills, and on those fills dimmed.
inline constexpr design::Rgb kCaptionText{0, 0, 0};
inline constexpr design::Rgb kDisabledText{0x33, 0x33, 0x33};
inline constexpr design::Rgb kFocusFrame{0, 0, 0};
// A disabled button's fill goes halfway toward this grey: unavailable is
// told by the fill, so the caption stays dark and readable.
inline constexpr design::Rgb kDimGrey{192, 192, 192};

// The fill a disabled button is drawn with outside high contrast.
design::Rgb Dimmed(design::Rgb fill);

// The colours of a control whose design gives back (nullopt: the system's
// button face, as the main window's own background) and fore (nullopt: the
// design leaves the text colour open) in state.
Look LookOf(Role role, const std::optional<design::Rgb>& back, const std::optional<design::Rgb>& fore, State state,
            bool highContrast);

}  // namespace tarn::colours
