// Move-only owners of Windows handles and scope owners of device contexts: each gives its
// handle back exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace dva {

// Owns one handle of the kind Traits describes: Traits::invalid() is the value that means "no
// handle", and Traits::close gives a valid one back. The "no handle" value differs by kind:
// CreateFileW fails with INVALID_HANDLE_VALUE, most other calls with a null handle, and
// INVALID_HANDLE_VALUE is also the current process's own pseudo handle, so an owner must know
// which of the two it holds.
template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle h) : h_(h) {}
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::invalid()));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    void reset(Handle h = Traits::invalid()) {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }

private:
    Handle h_ = Traits::invalid();
};

template <class H>
struct GdiObjectTraits {
    using Handle = H;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DeleteObject(h); }
};

// Kernel handles that are null when there is none: processes, threads, events.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CloseHandle(h); }
};

// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DeleteDC(h); }
};

// Memory the system allocated for the caller (FormatMessageW's buffer), freed with LocalFree.
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { LocalFree(h); }
};

using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniqueBrush = Unique<GdiObjectTraits<HBRUSH>>;
using UniqueBitmap = Unique<GdiObjectTraits<HBITMAP>>;
using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueMemoryDc = Unique<MemoryDcTraits>;
using UniqueLocalMemory = Unique<LocalMemoryTraits>;

// The device context of a window, or of the screen for a null window (GetDC), released with
// ReleaseDC at the end of the scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context for the scope; the one it replaced goes back at the
// end, so the object can be deleted afterwards.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selection() {
        if (old_) SelectObject(dc_, old_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace dva
