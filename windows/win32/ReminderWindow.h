// The reminder window: the large blue message that asks the user to read out
// the client's ID, above all other windows. One object for the run; its window
// is loaded by the first write of the message and again by the first write
// after the user closed it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "launch/Reminder.h"
#include "platform/Handle.h"
#include "windows/Designs.h"
#include "windows/ReminderId.h"
#include "windows/win32/DesignedControls.h"
#include "windows/win32/WindowBase.h"

namespace tarn {

class ReminderWindow : public Reminder, private win::WindowBase<ReminderWindow> {
public:
    // The main window's outer rectangle in screen pixels, read each time the
    // window loads; nullopt when there is no main window.
    using MainPlace = std::function<std::optional<RECT>()>;

    ReminderWindow(HINSTANCE instance, const Deployment& deploy, MainPlace mainPlace);
    ~ReminderWindow() override;

    // Writes the message; loads the window first when it is not loaded. A
    // loaded window keeps its place.
    void SetText(const std::string& text) override;
    // The window's handle, loading it when needed: the launches read it right
    // after writing the text.
    WindowId Handle() override;
    // Polls the file on a timer for a minute; each read runs off the window's
    // thread, so a file on a slow share never holds the window up.
    void WatchForId(const std::string& path) override;
    // Ends the watch and takes the ID row away again, the window keeping
    // its place.
    void ForgetId() override;

    bool IsLoaded() const noexcept { return hwnd_ != nullptr; }
    // Closes the window; nothing when it is not loaded.
    void Close() noexcept;
    // Runs after the window has gone, whoever closed it.
    void OnClosed(std::function<void()> callback) { onClosed_ = std::move(callback); }

    using WindowBase::Window;

private:
    friend class win::WindowBase<ReminderWindow>;

    struct IdRead;

    void Load();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void AfterDestroy();

    // Below (or above) the main window's current place, for a window of size.
    PixelRect PlaceByMainWindow(PixelSize size, const Screen& screen) const;
    void StartIdRead();
    static DWORD WINAPI ReadThread(void* parameter) noexcept;
    void OnIdRead(const IdRead& read);
    void ShowId(const std::string& digits);
    void LayoutIdRow();
    void RemoveIdRow() noexcept;
    void CopyId() noexcept;

    // The watch: which file, and a count that tells reads of an earlier
    // watch, still under way, from this one's.
    std::string idFile_;
    unsigned idGeneration_ = 0;
    bool idReading_ = false;
    int idTicks_ = 0;
    IdWatch idWatch_;
    // The row, while it shows an ID.
    std::string id_;
    HWND idDigits_ = nullptr;
    HWND copyButton_ = nullptr;
    FontHandle idFont_;
    win::BrushCache idBrushes_;

    HINSTANCE instance_;
    win::DesignedControls<design::ReminderControl> controls_;
    MainPlace mainPlace_;
    std::function<void()> onClosed_;
};

}  // namespace tarn
