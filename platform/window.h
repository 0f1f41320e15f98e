// A small window framework: a window is a class on this base, its controls a table of rows
// in twips that one loop creates, scales to the window's dpi and colours.
#pragma once

#include <windows.h>
#include <windowsx.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "handles.h"

namespace dva {

enum class ControlKind { Button, CheckBox, Label, ListBox, Picture, TextBox };

// A font by face, size in hundredths of a point, weight and character set.
struct FontSpec {
    const wchar_t* face;
    int centiPoints;
    int weight;   // FW_NORMAL, FW_BOLD
    int charset;  // 162 Turkish, 0 Western
};

inline constexpr COLORREF kDefaultColour = CLR_INVALID;

// How a control looks.
struct Look {
    COLORREF text = kDefaultColour;
    COLORREF back = kDefaultColour;
    const FontSpec* font = nullptr;  // nullptr: the window's default font
    int bitmap = 0;                  // pictures: bitmap resource drawn from the top-left corner
    bool noWrap = false;             // labels: one line at their designed size, never wrapped at words
};

// How a control behaves.
struct Behaviour {
    bool disabled = false;   // greyed; a greyed check box never toggles
    bool ticked = false;     // check boxes
    bool multiline = false;  // text boxes
    bool link = false;       // labels that open something: the hand cursor over them
};

// One row of a window's layout table; positions and sizes in twips.
struct ControlSpec {
    int id;
    ControlKind kind;
    const wchar_t* caption;
    int left, top, width, height;
    int tabIndex;
    Look look = {};
    Behaviour behaviour = {};
};

// The standard controls in their themed version (common controls 6, which the program's manifest
// asks for); once per process, before its first window.
void initCommonControls();

class Window;

// How the parameters of a message reach its handler in a window's table: Crack<M>::args unpacks
// them into the handler's arguments. A message whose parameters the program does not read has
// none; a handler may also take nothing of what its message carries.
template <UINT Message>
struct Crack {
    static std::tuple<> args(WPARAM, LPARAM) { return {}; }
};
template <>
struct Crack<WM_CHAR> {  // the character typed
    static std::tuple<wchar_t> args(WPARAM wp, LPARAM) { return {static_cast<wchar_t>(wp)}; }
};
template <>
struct Crack<WM_ENDSESSION> {  // whether the session really ends
    static std::tuple<bool> args(WPARAM wp, LPARAM) { return {wp != 0}; }
};
// The mouse messages: where the pointer is, in client pixels.
inline std::tuple<POINT> pointerAt(LPARAM lp) { return {POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}}; }
template <>
struct Crack<WM_MOUSEMOVE> {
    static std::tuple<POINT> args(WPARAM, LPARAM lp) { return pointerAt(lp); }
};
template <>
struct Crack<WM_LBUTTONDOWN> {
    static std::tuple<POINT> args(WPARAM, LPARAM lp) { return pointerAt(lp); }
};
template <>
struct Crack<WM_LBUTTONUP> {
    static std::tuple<POINT> args(WPARAM, LPARAM lp) { return pointerAt(lp); }
};

// One row of a window's table of what it handles: a message (by a fixed number, or registered by
// name and numbered at run time), a control's notification, or a timer. The framework runs the
// row's handler on the window; the handler's answer is 0, or TRUE/FALSE for a handler returning
// bool. Rows are made by the functions below, so a table reads
//   messageRoute<WM_CHAR, &SplashWindow::onKeyPress>(),
//   registeredRoute<&SingleCopy::comeForwardMessage, &MainWindow::onComeForward>(),
//   commandRoute<&MainWindow::onExitClicked>(ids::main::exit, BN_CLICKED),
//   timerRoute<&MainWindow::onTick>(ids::main::scanTimer).
struct Route {
    enum class Kind { Message, Command, Timer };
    Kind kind;
    // Message: its number, asked for once when the window is made. A registered message has its
    // number only at run time, and 0, a name the system could not register, matches nothing.
    UINT (*number)() = nullptr;
    int id = 0;            // Command: the control; Timer: the timer
    int notification = 0;  // Command: BN_CLICKED, STN_CLICKED...
    LRESULT (*handler)(Window&, WPARAM, LPARAM) = nullptr;
};

namespace detail {
template <class M>
struct WindowOf;
template <class W, class R, class... A>
struct WindowOf<R (W::*)(A...)> {
    using Type = W;
};

template <class R>
LRESULT answer(R result) {
    if constexpr (std::is_same_v<R, bool>) {
        return result ? TRUE : FALSE;
    } else {
        return static_cast<LRESULT>(result);
    }
}

template <auto Member, class W, class... A>
LRESULT run(W& self, A... a) {
    using R = std::invoke_result_t<decltype(Member), W&, A...>;
    if constexpr (std::is_void_v<R>) {
        (self.*Member)(a...);
        return 0;
    } else {
        return answer((self.*Member)(a...));
    }
}

// Calls the member with the unpacked arguments, or with none when it takes none.
template <auto Member, class... A>
LRESULT call(Window& w, std::tuple<A...> args) {
    using W = typename WindowOf<decltype(Member)>::Type;
    auto& self = static_cast<W&>(w);
    if constexpr (std::is_invocable_v<decltype(Member), W&, A...>) {
        return std::apply([&](A... a) { return run<Member>(self, a...); }, args);
    } else {
        return run<Member>(self);
    }
}

template <UINT Number>
UINT fixedNumber() {
    return Number;
}
}  // namespace detail

template <UINT Message, auto Member>
constexpr Route messageRoute() {
    return {Route::Kind::Message, &detail::fixedNumber<Message>, 0, 0, [](Window& w, WPARAM wp, LPARAM lp) {
                return detail::call<Member>(w, Crack<Message>::args(wp, lp));
            }};
}

// A message registered by name: the handler takes nothing, or the raw parameters its sender gives.
template <UINT (*Number)(), auto Member>
constexpr Route registeredRoute() {
    return {Route::Kind::Message, Number, 0, 0, [](Window& w, WPARAM wp, LPARAM lp) {
                return detail::call<Member>(w, std::tuple<WPARAM, LPARAM>{wp, lp});
            }};
}

template <auto Member>
constexpr Route commandRoute(int id, int notification) {
    return {Route::Kind::Command, nullptr, id, notification,
            [](Window& w, WPARAM, LPARAM) { return detail::call<Member>(w, std::tuple<>{}); }};
}

template <auto Member>
constexpr Route timerRoute(int id) {
    return {Route::Kind::Timer, nullptr, id, 0,
            [](Window& w, WPARAM, LPARAM) { return detail::call<Member>(w, std::tuple<>{}); }};
}

enum class Placement { CenterScreen, SystemDefault };

struct WindowSpec {
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    int clientWidth, clientHeight;  // twips
    COLORREF back;                  // kDefaultColour: the system's button face
    Placement placement;
    const FontSpec* font;           // default font of the controls
    int icon = 0;                   // icon resource, 0 for none
};

// The outcome of creating a window: made, or the system's error code (0 if it gave none).
struct Created {
    bool ok = true;
    DWORD error = 0;
    explicit operator bool() const { return ok; }
};

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }
    HWND control(int id) const { return GetDlgItem(hwnd_, id); }

    void show();         // makes it visible and brings it forward
    void setVisible(bool visible);
    void close();        // runs onClose, which may cancel; else destroys the window

    // Whether the message loop may give this window dialog keys (Tab, Enter, Space).
    virtual bool wantsDialogKeys() const { return true; }
    // A key for an embedded control that handles keys of its own (the browser control): the
    // window offers it there first; true when the control took it.
    virtual bool translateControlKey(MSG& /*msg*/) { return false; }
    // Gives the focused push button of this window the default look (and takes it from the
    // others), as dialogs do, so that the button Enter presses is the one drawn as such.
    void markDefaultButton(HWND focus);

    // Called once when the window has been destroyed; the owner releases the object later.
    void onGone(std::function<void()> gone) { gone_ = std::move(gone); }

    static Window* fromHandle(HWND h);

protected:
    // Creates the window hidden, with its controls in tab order; the framework runs the handlers
    // of `routes` for what they name. On failure nothing of the window is left (the object is
    // released as after any destruction) and the result holds the system's error code.
    [[nodiscard]] Created createFrom(const WindowSpec& layout, std::span<const ControlSpec> controls,
                                     std::span<const Route> routes = {});
    // createFrom(), and when the window cannot be made, the run-time error report naming
    // `failure`: the program ends. For the windows the program cannot go on without.
    void createFromOrEnd(const WindowSpec& layout, std::span<const ControlSpec> controls, std::span<const Route> routes,
                         const wchar_t* failure);

    // Every message the window gets: its table's routes first, then the framework's own handling
    // (colours, pictures, dialog keys, dpi). An override is for a message that truly needs the
    // raw parameters, and passes on what it does not handle.
    virtual LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Runs when the window is asked to close: return true to cancel the close.
    virtual bool onClose() { return false; }
    // Runs after the controls have been placed for the window's dpi (at creation and when the
    // dpi changes), for what a window places by hand.
    virtual void onArranged() {}

    void setTimer(UINT_PTR id, UINT ms) { SetTimer(hwnd_, id, ms, nullptr); }
    void killTimer(UINT_PTR id) { KillTimer(hwnd_, id); }
    int dpi() const { return dpi_; }

private:
    static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    void arrange(const RECT* suggested);
    HFONT fontFor(const FontSpec* font);
    HBRUSH brushFor(COLORREF colour);
    const ControlSpec* specOf(HWND child) const;
    LRESULT colourControl(HDC dc, HWND child, UINT msg);
    bool drawPicture(const DRAWITEMSTRUCT& item);
    bool routed(Route::Kind kind, int id, int notification, LRESULT& result);
    bool routedMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // The keyboard as dialogs have it (window_keys.cpp).
    bool dialogKeyMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    HWND firstTabStop() const;
    HWND focusedButton() const;
    void focusControl(HWND control, bool selectText);
    void restoreFocus();

    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    const WindowSpec* layout_ = nullptr;
    std::vector<ControlSpec> controls_;  // in tab order
    std::span<const Route> routes_;
    std::vector<UINT> numbers_;  // the message routes' numbers, looked up once, in their order (0 for others)
    std::map<const FontSpec*, UniqueFont> fonts_;
    std::map<COLORREF, UniqueBrush> brushes_;
    std::map<int, UniqueBitmap> bitmaps_;
    std::function<void()> gone_;
    HWND focus_ = nullptr;  // the control that had the focus when the window was last deactivated
};

}  // namespace dva
