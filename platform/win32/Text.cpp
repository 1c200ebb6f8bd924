#include "platform/win32/Text.h"

#include <windows.h>

#include <string>

#include "platform/Error.h"

namespace tarn::text {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, result.data(), length);
    return result;
}

namespace {

std::string FromWide(UINT codePage, std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int size = static_cast<int>(utf16.size());
    const int length = ::WideCharToMultiByte(codePage, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, utf16.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

}  // namespace

std::string Narrow(std::wstring_view utf16) { return FromWide(CP_UTF8, utf16); }

std::string ToAnsi(std::wstring_view utf16) { return FromWide(CP_ACP, utf16); }

namespace {

// Fills the inserts that FORMAT_MESSAGE_IGNORE_INSERTS left as they stand:
// "%1" (with an optional "!printf format!") becomes subject, "%2" and
// higher disappear, "%%" is a percent sign.
std::wstring FillInserts(const std::wstring& message, const std::wstring& subject) {
    std::wstring out;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != L'%' || i + 1 == message.size()) {
            out += message[i];
            continue;
        }
        const wchar_t next = message[i + 1];
        if (next == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        if (next < L'1' || next > L'9') {
            out += message[i];
            continue;
        }
        std::size_t end = i + 1;
        int number = 0;
        while (end < message.size() && message[end] >= L'0' && message[end] <= L'9' && number < 100)
            number = number * 10 + (message[end++] - L'0');
        if (end < message.size() && message[end] == L'!') {
            const std::size_t close = message.find(L'!', end + 1);
            if (close != std::wstring::npos) end = close + 1;
        }
        if (number == 1) out += subject;
        i = end - 1;
    }
    return out;
}

}  // namespace

std::string SystemMessage(unsigned long code, std::string_view subject) {
    constexpr DWORD kFlags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    // The users read Traditional Chinese (Taiwan); a system without that
    // language's messages answers in its own.
    const DWORD languages[] = {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 0};
    for (DWORD language : languages) {
        wchar_t* buffer = nullptr;
        const DWORD length =
            ::FormatMessageW(kFlags, nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        if (length == 0 || buffer == nullptr) continue;
        std::wstring message(buffer, length);
        ::LocalFree(buffer);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
        message = FillInserts(message, subject.empty() ? std::wstring(L"這個檔案") : Widen(subject));
        if (!message.empty()) return Narrow(message);
    }
    return "系統錯誤 " + std::to_string(code) + " (" + HexCode(code) + ")";
}

}  // namespace tarn::text
