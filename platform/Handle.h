// Move-only ownership of operating-system handles. The template is portable so
// that its rules (one owner, closed exactly once) are tested natively with
// counting traits; the Win32 traits and the scoped GDI selection follow in
// the Windows-only part.
//
// Traits provide:
//   using Type = ...;               the handle type
//   static Type Invalid() noexcept; the value that owns nothing
//   static void Close(Type) noexcept;
#pragma once

#include <utility>

namespace tarn {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    // Closes what is held (if anything) and takes the new handle. Resetting to
    // the handle already held keeps it open: closing it would leave this
    // object owning a dead handle.
    void reset(Type handle = Traits::Invalid()) noexcept {
        if (handle == handle_) return;
        Type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    Type handle_ = Traits::Invalid();
};

}  // namespace tarn

#ifdef _WIN32
#include <windows.h>

namespace tarn {

// Files and other kernel objects whose creation answers INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Processes, threads and events, whose creation answers null.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

template <typename T>
struct GdiObjectTraits {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};
using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BrushHandle = UniqueHandle<GdiObjectTraits<HBRUSH>>;

// Selects a GDI object into a DC and puts the previous one back on scope exit,
// so the owned object can be deleted afterwards (a selected object cannot).
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace tarn
#endif  // _WIN32
