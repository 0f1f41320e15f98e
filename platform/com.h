// OLE for the user-interface thread, and an owner of COM references.
#pragma once

#include <ole2.h>

#include <utility>

namespace dva {

// Keeps OLE initialised on the user-interface thread for as long as the program runs: the web
// browser control of the support window lives in it.
class OleSession {
public:
    OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (ok_) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

private:
    bool ok_;
};

// Holds one reference to a COM object and releases it exactly once.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    ComRef copy() const {  // a second reference to the same object
        ComRef r;
        if (p_) p_->AddRef();
        r.p_ = p_;
        return r;
    }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** out() {  // for calls that hand back a new reference
        reset();
        return &p_;
    }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

}  // namespace dva
