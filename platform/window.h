// A small window framework: a window is a class on this base, its controls a table of rows
// in twips that one loop creates, scales to the window's dpi and colours.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
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

class Window;

// One row of a window's handler table: when control `id` reports `notification` (BN_CLICKED,
// STN_CLICKED) the framework runs `handler` on the window. Rows are made with on<>, so a table
// reads {id, notification, on<&DetectionsWindow::onClearClicked>}.
struct CommandRow {
    int id;
    int notification;
    void (*handler)(Window&);
};

// One row of a window's message table: when the window receives the message numbered
// `message()`, the framework runs `handler` on the window with the message's parameters and
// answers 0. The number is asked for once, when the window is made: a message registered by name
// (RegisterWindowMessageW) has its number only at run time, and 0, a name the system could not
// register, matches nothing. Rows are made with on<>, and systemMessage<> for the fixed numbers:
// {SingleCopy::comeForwardMessage, on<&MainWindow::onComeForward>},
// {systemMessage<WM_CHAR>, on<&SplashWindow::onKeyPress>}.
struct MessageRow {
    UINT (*message)();
    void (*handler)(Window&, WPARAM, LPARAM);
};

// The number of a message the system defines, as a message row asks for it.
template <UINT Number>
UINT systemMessage() {
    return Number;
}

namespace detail {
template <class M>
struct HandlerOf;
template <class W>
struct HandlerOf<void (W::*)()> {
    using WindowType = W;
};
template <class W>
struct HandlerOf<void (W::*)(WPARAM, LPARAM)> {
    using WindowType = W;
};
}  // namespace detail

// The handler of a row: calls the member function on the window the row belongs to.
template <auto Member>
void on(Window& w) {
    using W = typename detail::HandlerOf<decltype(Member)>::WindowType;
    (static_cast<W&>(w).*Member)();
}

// The handler of a message row: the member function gets the message's parameters if it takes them.
template <auto Member>
void on(Window& w, WPARAM wp, LPARAM lp) {
    using W = typename detail::HandlerOf<decltype(Member)>::WindowType;
    if constexpr (std::is_invocable_v<decltype(Member), W&, WPARAM, LPARAM>) {
        (static_cast<W&>(w).*Member)(wp, lp);
    } else {
        (static_cast<W&>(w).*Member)();
    }
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
    void unload();       // runs onUnload, which may cancel; else destroys the window

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
    // Creates the window hidden, with its controls in tab order; the framework runs the
    // handlers of `commands` for the notifications of the controls and those of `messages` for
    // the messages they name, as the framework's onMessage gets them (an override passes on what
    // it does not handle itself). On failure nothing of the window is left (the object is released
    // as after any destruction) and the result holds the system's error code.
    [[nodiscard]] Created create(const WindowSpec& form, std::span<const ControlSpec> controls,
                                 std::span<const CommandRow> commands = {},
                                 std::span<const MessageRow> messages = {});
    // create(), and when the window cannot be made, the run-time error report naming `failure`:
    // the program ends. For the windows the program cannot go on without.
    void createOrEnd(const WindowSpec& form, std::span<const ControlSpec> controls,
                     std::span<const CommandRow> commands, const wchar_t* failure) {
        createOrEnd(form, controls, commands, {}, failure);
    }
    void createOrEnd(const WindowSpec& form, std::span<const ControlSpec> controls,
                     std::span<const CommandRow> commands, std::span<const MessageRow> messages,
                     const wchar_t* failure);

    virtual LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp);
    virtual void onTimer(UINT_PTR /*id*/) {}
    // Runs when the window is asked to close: return true to cancel the unload.
    virtual bool onUnload() { return false; }

    void setTimer(UINT_PTR id, UINT ms) { SetTimer(hwnd_, id, ms, nullptr); }
    void killTimer(UINT_PTR id) { KillTimer(hwnd_, id); }
    int dpi() const { return dpi_; }

private:
    static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    void layout(const RECT* suggested);
    HFONT fontFor(const FontSpec* font);
    HBRUSH brushFor(COLORREF colour);
    const ControlSpec* specOf(HWND child) const;
    LRESULT colourControl(HDC dc, HWND child, UINT msg);
    bool drawPicture(const DRAWITEMSTRUCT& item);
    void command(int id, int notification);
    HWND firstTabStop() const;
    HWND focusedButton() const;
    void focusControl(HWND control, bool selectText);
    void restoreFocus();
    bool handledByRow(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    const WindowSpec* form_ = nullptr;
    std::vector<ControlSpec> controls_;  // in tab order
    std::span<const CommandRow> commands_;
    std::vector<std::pair<UINT, void (*)(Window&, WPARAM, LPARAM)>> messages_;  // numbers looked up
    std::map<const FontSpec*, UniqueFont> fonts_;
    std::map<COLORREF, UniqueBrush> brushes_;
    std::map<int, UniqueBitmap> bitmaps_;
    std::function<void()> gone_;
    HWND focus_ = nullptr;  // the control that had the focus when the window was last deactivated
};

}  // namespace dva
