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
    // Gives the handle up without closing it: the caller owns it now.
    [[nodiscard]] Handle release() { return std::exchange(h_, Traits::invalid()); }
    // For calls that hand back a new handle through an out-parameter: closes the one held, then
    // gives the slot to fill.
    Handle* put() {
        reset();
        return &h_;
    }

private:
    Handle h_ = Traits::invalid();
};

// The kinds that are null when there is none; Close gives a handle back.
template <class H, class Close>
struct NullMeansNone {
    using Handle = H;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { Close{}(h); }
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct CloseKernelHandle {  // processes, threads, events, mappings
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct DeleteMemoryDc {  // CreateCompatibleDC's
    void operator()(HDC h) const { DeleteDC(h); }
};
struct FreeLocalMemory {  // what the system allocated for the caller, as FormatMessageW's buffer
    void operator()(HLOCAL h) const { LocalFree(h); }
};

using UniqueFont = Unique<NullMeansNone<HFONT, DeleteGdiObject>>;
using UniqueBrush = Unique<NullMeansNone<HBRUSH, DeleteGdiObject>>;
using UniqueBitmap = Unique<NullMeansNone<HBITMAP, DeleteGdiObject>>;
using UniqueHandle = Unique<NullMeansNone<HANDLE, CloseKernelHandle>>;
using UniqueMemoryDc = Unique<NullMeansNone<HDC, DeleteMemoryDc>>;
using UniqueLocalMemory = Unique<NullMeansNone<HLOCAL, FreeLocalMemory>>;

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
