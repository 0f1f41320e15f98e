// Move-only owners of Windows handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace dva {

template <class H, class Close, H Null = H{}>
class Unique {
public:
    Unique() = default;
    explicit Unique(H h) : h_(h) {}
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Null)) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Null));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Null; }
    void reset(H h = Null) {
        if (h_ != Null) Close{}(h_);
        h_ = h;
    }

private:
    H h_ = Null;
};

struct GdiClose {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct IconClose {
    void operator()(HICON h) const { DestroyIcon(h); }
};
struct HandleClose {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct WindowClose {
    void operator()(HWND h) const { DestroyWindow(h); }
};

using UniqueFont = Unique<HFONT, GdiClose>;
using UniqueBrush = Unique<HBRUSH, GdiClose>;
using UniqueBitmap = Unique<HBITMAP, GdiClose>;
using UniqueIcon = Unique<HICON, IconClose>;
using UniqueHandle = Unique<HANDLE, HandleClose>;

}  // namespace dva
