#pragma once

#include <oaidl.h>

#include <string>
#include <utility>

#include "runtime.h"
#include "window.h"

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

    T* get() const { return p_; }
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

// Form4, "Online MSN Destek": the online support page in an embedded web browser, which stays
// blank until "Bağlan!" loads the page.
class Form4 final : public Window {
public:
    explicit Form4(Runtime& rt) : rt_(rt) {}

    void load();  // creates the window hidden, with its browser control if the system has one

private:
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void onCommand(int id, int notifyCode) override;
    void Command1_Click();

    HRESULT createWebBrowser1();
    void placeWebBrowser1();
    HRESULT navigate(const wchar_t* url);
    std::wstring describe(HRESULT hr);

    Runtime& rt_;
    HWND webBrowser1Host_ = nullptr;  // the control's site window, a child destroyed with this one
    ComRef<IDispatch> webBrowser1_;   // the control's dispatch interface
    HRESULT webBrowser1Error_ = S_OK; // why the control could not be made
};

}  // namespace dva
