// A window's table of what it handles: one Route per message, registered message, control
// notification or timer, its handler given the message's parameters unpacked (Crack). The window
// framework (window.h) dispatches from the table.
#pragma once

#include <windows.h>
#include <windowsx.h>
#include <dbt.h>

#include <tuple>
#include <type_traits>

namespace dva {

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
// A device came or goes (DBT_...), and the drive letters of the volumes it concerns, one bit each
// from A, when the system's word is about volumes (0 for any other kind of device).
template <>
struct Crack<WM_DEVICECHANGE> {
    static std::tuple<UINT, DWORD> args(WPARAM wp, LPARAM lp) {
        // The header says what follows it; only a volume's broadcast carries the unit mask.
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lp);
        if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
            header->dbch_size < sizeof(DEV_BROADCAST_VOLUME))
            return {static_cast<UINT>(wp), 0};
        return {static_cast<UINT>(wp), reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lp)->dbcv_unitmask};
    }
};
// The mouse messages: where the pointer is, in client pixels.
inline std::tuple<POINT> pointerAt(LPARAM lp) { return {POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}}; }
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

}  // namespace dva
