// How far a Windows program file reaches, read from its own headers, so that
// a download that arrived without a length can be told whole or cut short.
// Portable: it reads bytes only, and is tested natively on crafted headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tarn {

// How much of a file's beginning ProgramExtent needs: its headers must lie
// within it. Real programs keep them in the first 4 KiB or so.
inline constexpr std::size_t kProgramHeadBytes = 64 * 1024;

// The size a program file must have at least to hold its headers, the raw
// data of every section and its certificate table, read from head: the
// file's first kProgramHeadBytes (the whole file when it is shorter).
// nullopt when head does not hold well-formed PE32 or PE32+ headers: no "MZ"
// or "PE\0\0", headers cut off or pointing outside head, or counts no
// Windows loader would take.
std::optional<std::uint64_t> ProgramExtent(std::span<const unsigned char> head) noexcept;

}  // namespace tarn
