// The program's own failures: each carries a message the user may read.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace tarn {

// Derived from std::exception alone. The standard's runtime_error keeps its
// text in a reference-counted string type of the C++ library's own, whose
// code a static exe would then carry beside the std::string everything else
// uses. The text is shared, so copying an Error never throws, as an
// exception's copy must not.
class Error : public std::exception {
public:
    explicit Error(std::string message) : message_(std::make_shared<const std::string>(std::move(message))) {}
    const char* what() const noexcept override { return message_->c_str(); }

private:
    std::shared_ptr<const std::string> message_;
};

// A code as messages show it to the person who reads it out on the phone:
// "0x" and eight upper-case hex digits.
inline std::string HexCode(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    for (int i = 9; i >= 2; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

}  // namespace tarn
