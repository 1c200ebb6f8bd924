// The main window's bottom strip while a program file downloads: a line that
// says what is happening, the sizes in smaller type, a bar and a cancel
// button take the place of the strip's label
// and give it back when the download ends. They are made when a download
// begins and gone when it ends, so that otherwise the strip holds its label
// alone. The platform tells it about downloads (DownloadWatcher).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "windows/Designs.h"
#include "windows/ProgressText.h"

namespace tarn::win {

class ProgressStrip final : public DownloadWatcher {
public:
    ProgressStrip(HINSTANCE instance, design::ProgressDesign design);
    ~ProgressStrip() override = default;
    ProgressStrip(const ProgressStrip&) = delete;
    ProgressStrip& operator=(const ProgressStrip&) = delete;

    // The strip the controls go into and the label they cover; a download
    // that begins before then, or after Detach, is not shown.
    void Attach(HWND strip, HWND label) noexcept;
    // The window is going: the controls go with it.
    void Detach() noexcept;

    // Places the controls in the strip at dpi; the window's layout calls it.
    void Layout(int dpi);

    // Called with each line shown.
    void OnLine(std::function<void(const std::string& line)> callback) { onLine_ = std::move(callback); }

    bool Downloading() const noexcept { return shown_.has_value(); }
    // True for the strip's own texts, which the window colours.
    bool Shows(HWND control) const noexcept {
        return shown_ && control && (control == shown_->line || control == shown_->sizes);
    }
    // Says so when no byte has come for a while, and takes it back once one
    // does. A timer asks every second; now is when it asks.
    void CheckStall(StallWatch::Clock::time_point now);
    // Gives up the download shown; nothing when none is.
    void Cancel();
    // True when the command came from the cancel button, which cancels.
    bool OnCommand(int id, int notification);

    void DownloadBegins(const std::string& path, std::function<void()> cancel) override;
    void DownloadProgress(std::uint64_t received, std::optional<std::uint64_t> total) override;
    void DownloadResumes() override;
    void DownloadEnds() override;

private:
    struct Shown {
        std::string fileName;
        std::function<void()> cancel;
        HWND line = nullptr;
        HWND sizes = nullptr;
        HWND bar = nullptr;
        HWND cancelButton = nullptr;
        bool marquee = false;
        std::string progressLine;  // what the line says while bytes come
        StallWatch stall;
        bool stalled = false;
    };

    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time) noexcept;

    void MakeBar(bool marquee);
    void Place();
    void ShowLine(const std::string& line);

    HINSTANCE instance_;
    design::ProgressDesign design_;
    HWND strip_ = nullptr;
    HWND label_ = nullptr;
    int dpi_ = 96;
    FontHandle font_;
    FontHandle sizesFont_;
    int fontDpi_ = 0;
    std::function<void(const std::string&)> onLine_;
    std::optional<Shown> shown_;
};

}  // namespace tarn::win
