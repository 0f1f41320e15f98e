// A small window framework: a window is a class on this base, its controls a table of rows
// in twips that one loop creates, scales to the window's dpi and colours.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "handles.h"
#include "routes.h"

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
