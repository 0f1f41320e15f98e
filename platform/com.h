// OLE for the user-interface thread, and owners of COM references, strings and variants.
#pragma once

#include <ole2.h>

#include <string_view>
#include <utility>

// Returns the HRESULT of the expression from the enclosing function when it is a failure.
#define DVA_RETURN_IF_FAILED(expr)                                           \
    do {                                                                     \
        if (const HRESULT dva_hr_ = (expr); FAILED(dva_hr_)) return dva_hr_; \
    } while (false)

namespace dva {

// The OLE and automation functions the program calls, looked up on first use instead of
// imported: an import would load ole32, oleaut32 and the RPC libraries beneath them into every
// run at start, for the windows that most runs never open. A function that cannot be found is
// null; complete() says whether all were found.
struct OleApi {
    HRESULT(WINAPI* initialize)(LPVOID) = nullptr;
    void(WINAPI* uninitialize)() = nullptr;
    HRESULT(WINAPI* initializeSecurity)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD, DWORD,
                                        void*, DWORD, void*) = nullptr;
    HRESULT(WINAPI* createInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
    BSTR(WINAPI* sysAllocString)(const OLECHAR*) = nullptr;
    BSTR(WINAPI* sysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
    void(WINAPI* sysFreeString)(BSTR) = nullptr;
    HRESULT(WINAPI* variantClear)(VARIANTARG*) = nullptr;

    bool complete() const {
        return initialize && uninitialize && initializeSecurity && createInstance && sysAllocString && sysAllocStringLen &&
               sysFreeString && variantClear;
    }
};
const OleApi& oleApi();  // loads the libraries on the first call; they stay loaded

// OLE on the user-interface thread, brought up the first time a window needs it (the web
// browser control of the support window lives in it, the desktop shell is asked through it) and
// kept until the program ends. `api` is the system's (oleApi()) unless a test gives its own.
class OleSession {
public:
    explicit OleSession(const OleApi* api = nullptr) : api_(api) {}
    ~OleSession() {
        if (ok_) api().uninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

    // Brings OLE up and, before any object is asked for, sets how this process talks to others:
    // the desktop shell runs with fewer rights than a raised copy of this program, so nothing it
    // hands over may bring code of its own for unpacking (EOAC_NO_CUSTOM_MARSHAL), our calls
    // carry this process's token only as it was at the start (no dynamic cloaking) and let the
    // other side identify us but not act as us (RPC_C_IMP_LEVEL_IDENTIFY).
    void ensure();

private:
    const OleApi& api() const { return api_ ? *api_ : oleApi(); }

    const OleApi* api_;
    bool ok_ = false;
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
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that hand back a new reference: releases the one held, then gives the slot to fill.
    T** put() {
        reset();
        return &p_;
    }
    // The same slot for the calls that take any interface as void** beside its id.
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }
    // Gives the reference up without releasing it: the caller owns it now.
    [[nodiscard]] T* release() { return std::exchange(p_, nullptr); }

    // Asks the object for its interface I: the system's answer, and the reference in `into`
    // (empty on failure).
    template <class I>
    HRESULT query(ComRef<I>& into) const {
        if (!p_) {
            into.reset();
            return E_POINTER;
        }
        return p_->QueryInterface(__uuidof(I), into.putVoid());
    }
    // The same when only the reference matters: empty when the object has no such interface.
    template <class I>
    ComRef<I> query() const {
        ComRef<I> r;
        (void)query(r);
        return r;
    }

private:
    T* p_ = nullptr;
};

// The owners below free through oleApi(): only made once oleApi() is known to be complete.

// A VARIANT holding a string (VT_BSTR, null when it could not be allocated), cleared once.
class StringVariant {
public:
    explicit StringVariant(std::wstring_view text) {
        v_.vt = VT_BSTR;
        v_.bstrVal = oleApi().sysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~StringVariant() { oleApi().variantClear(&v_); }
    StringVariant(const StringVariant&) = delete;
    StringVariant& operator=(const StringVariant&) = delete;
    bool ok() const { return v_.bstrVal != nullptr; }
    VARIANT& get() { return v_; }
    BSTR bstr() const { return v_.bstrVal; }

private:
    VARIANT v_{};
};

// What IDispatch::Invoke fills in for an exception, its strings freed once.
class ExceptionInfo {
public:
    ExceptionInfo() = default;
    ~ExceptionInfo() {
        oleApi().sysFreeString(e_.bstrSource);
        oleApi().sysFreeString(e_.bstrDescription);
        oleApi().sysFreeString(e_.bstrHelpFile);
    }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    EXCEPINFO* put() { return &e_; }
    // The exception's own code, its deferred part filled in first (ask once).
    SCODE code() {
        if (e_.pfnDeferredFillIn) e_.pfnDeferredFillIn(&e_);
        return e_.scode;
    }

private:
    EXCEPINFO e_{};
};

// Offers a keyboard message aimed at an embedded control's window (or a window inside it) to the
// control's IOleInPlaceActiveObject::TranslateAccelerator, as a container must before its own
// keyboard handling: true when the control took it (S_OK). Other messages are not offered.
bool offerKeyToControl(IUnknown* control, HWND controlWindow, MSG& msg);

}  // namespace dva
