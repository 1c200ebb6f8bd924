// The client's ID on the reminder: read out of the file the client writes it
// into, grouped for reading aloud over the phone, and the row that shows it.
// Decided without a window or a file system, so that every odd file is
// tested natively; the Win32 side only reads the bytes and shows the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "windows/Designs.h"

namespace tarn {

// A configuration file larger than this is not the client's; it is not read.
inline constexpr std::uint64_t kIdFileLimit = 64 * 1024;

// Whether what stands at the ID file's path is read at all: a plain file of
// at most kIdFileLimit bytes, never a folder or a link, which could lead the
// read into another user's files or a device that never answers.
bool ShouldReadIdFile(bool folder, bool link, std::uint64_t size);

// The ID that bytes (the client's system.conf) give: the digits of the last
// line that begins "ad.anynet.id=", when they are 6 to 12 digits followed by
// nothing but an optional CR. A later line overrides an earlier one, as for
// the client itself, so a malformed last line gives none.
std::optional<std::string> ClientIdIn(std::string_view bytes);

// The digits in groups of three from the right, with a blank between groups:
// "123 456 789", "1 234 567 890".
std::string GroupedId(std::string_view digits);

// What the reminder makes of its reads of the ID file after a start: one
// read per poll, kPolls of them. An ID is shown once two reads running give
// it, so that a file caught halfway through being written never shows a cut
// ID.
class IdWatch {
public:
    static constexpr int kPollMs = 500;
    static constexpr int kPolls = 120;  // a minute

    // One poll's bytes; nullopt when the file could not be read. The ID to
    // show, once; nothing more after that or after the last poll.
    std::optional<std::string> Poll(const std::optional<std::string>& bytes);
    bool Ended() const { return shown_ || polls_ >= kPolls; }

private:
    int polls_ = 0;
    bool shown_ = false;
    std::optional<std::string> last_;
};

// The row that the reminder grows by once the ID is known, below its design
// client area: the ID in large digits and the copy button. Twips.
struct IdRowDesign {
    int height = 0;
    int digitsLeft = 0, digitsTop = 0, digitsWidth = 0, digitsHeight = 0;  // tops within the row
    int copyLeft = 0, copyTop = 0, copyWidth = 0, copyHeight = 0;
    design::Font digitsFont;
    design::Rgb digitsColour;
};

inline constexpr char kCopyIdCaption[] = "複製 ID";
inline constexpr char kCopiedCaption[] = "已複製";
inline constexpr char kCopyFailedCaption[] = "複製失敗";

IdRowDesign ReminderIdRow();

struct IdRowRects {
    PixelRect digits, copy;
    PixelSize client;  // the reminder's client area with the row
};

// The row's controls and the grown client area, for a reminder whose design
// client area is designClient (twips) at dpi.
IdRowRects IdRowLayout(const IdRowDesign& row, int designClientWidth, int designClientHeight, int dpi);

}  // namespace tarn
