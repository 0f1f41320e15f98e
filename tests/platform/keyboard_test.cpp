// The keyboard in the program's windows, through the event loop's own dispatch: the first control
// takes the focus, Tab and Shift+Tab go round (out of a multi-line text box too), Enter presses
// the focused button and nothing else, Esc closes nothing, a caption's & is a mnemonic, and a key
// for an embedded control (the support page's browser) is offered to it before the dialog keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com.h"
#include "message_loop.h"
#include "window.h"

namespace dva {
namespace {

constexpr int kName = 11, kTry = 12, kOther = 13, kNotes = 14, kGreyed = 15;

constexpr WindowSpec kProbeSpec{
    .className = L"dvaKeyboardProbe",
    .caption = L"keyboard",
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
    .exStyle = 0,
    .clientWidth = 4800,
    .clientHeight = 3600,
    .back = kDefaultColour,
    .placement = Placement::CenterScreen,
    .font = nullptr,
};
// Listed out of tab order on purpose: the framework creates them in tab order.
constexpr ControlSpec kProbeControls[] = {
    {kNotes, ControlKind::TextBox, L"notes", 120, 1800, 4000, 900, 4, {}, {.multiline = true}},
    {kName, ControlKind::TextBox, L"name", 120, 120, 3000, 300, 0},
    {kGreyed, ControlKind::Button, L"greyed", 120, 1400, 1500, 375, 3, {}, {.disabled = true}},
    {kTry, ControlKind::Button, L"&Dene", 120, 520, 1500, 375, 1},
    {kOther, ControlKind::Button, L"İkinci", 120, 960, 1500, 375, 2},
    {16, ControlKind::Label, L"label", 3300, 120, 1200, 255, 5},
};

// An in-place active object that records the keys it is offered and takes them or not.
class FakeActiveObject final : public IOleInPlaceActiveObject {
public:
    std::vector<MSG> offered;
    void takeKeys(bool take) { answer_ = take ? S_OK : S_FALSE; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceActiveObject) {
            *out = static_cast<IOleInPlaceActiveObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override {
        offered.push_back(*msg);
        return answer_;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    ULONG refs() const { return refs_; }

private:
    ULONG refs_ = 1;
    HRESULT answer_ = S_FALSE;
};

class KeyboardProbe final : public Window {
public:
    std::vector<int> pressed;
    FakeActiveObject* embedded = nullptr;  // stands for a browser control sited in the name box

    KeyboardProbe();
    bool translateControlKey(MSG& msg) override { return offerKeyToControl(embedded, control(kName), msg); }
    void onTry() { pressed.push_back(kTry); }
    void onOther() { pressed.push_back(kOther); }

private:
    static const Route kRoutes[];
};

const Route KeyboardProbe::kRoutes[] = {
    commandRoute<&KeyboardProbe::onTry>(kTry, BN_CLICKED),
    commandRoute<&KeyboardProbe::onOther>(kOther, BN_CLICKED),
};

KeyboardProbe::KeyboardProbe() { EXPECT_TRUE(createFrom(kProbeSpec, kProbeControls, kRoutes).ok); }

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) dispatchMessage(msg);
}

void setShift(bool down) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A key press as the system queues it for the focused window, through the program's dispatch.
void press(UINT vk, bool shift = false) {
    setShift(shift);
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(GetFocus(), WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    pump();
    setShift(false);
}

std::string nameOf(HWND h) {
    const int id = GetDlgCtrlID(h);
    return h ? "control " + std::to_string(id) : "nothing";
}

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(w.hwnd(), nullptr);
        w.show();
        pump();
        ASSERT_EQ(GetActiveWindow(), w.hwnd()) << "the test window could not be made active";
    }
    HWND focus() const { return GetFocus(); }
    HWND at(int id) const { return w.control(id); }
    bool isDefault(int id) const { return (GetWindowLongPtrW(at(id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

    KeyboardProbe w;
};

TEST_F(Keyboard, FirstControlTakesTheFocusAndTabGoesRoundBothWays) {
    EXPECT_EQ(focus(), at(kName)) << nameOf(focus());
    press(VK_TAB);
    EXPECT_EQ(focus(), at(kTry)) << nameOf(focus());
    EXPECT_TRUE(isDefault(kTry)) << "the focused button is not drawn as the one Enter presses";
    press(VK_TAB);
    EXPECT_EQ(focus(), at(kOther)) << nameOf(focus());
    EXPECT_FALSE(isDefault(kTry));
    EXPECT_TRUE(isDefault(kOther));
    press(VK_TAB);  // over the greyed button
    EXPECT_EQ(focus(), at(kNotes)) << nameOf(focus());
    EXPECT_FALSE(isDefault(kOther));
    // Out of the multi-line box, which hands Tab to its window, and round to the first control.
    press(VK_TAB);
    EXPECT_EQ(focus(), at(kName)) << nameOf(focus());
    press(VK_TAB, true);
    EXPECT_EQ(focus(), at(kNotes)) << "Shift+Tab did not go round backwards: " << nameOf(focus());
    press(VK_TAB, true);
    EXPECT_EQ(focus(), at(kOther)) << "Shift+Tab out of the multi-line box: " << nameOf(focus());
    EXPECT_TRUE(w.pressed.empty());
}

TEST_F(Keyboard, EnterPressesOnlyTheFocusedButtonAndSpaceStillDoes) {
    press(VK_RETURN);  // in the name box: no button has the focus
    EXPECT_TRUE(w.pressed.empty()) << "Enter pressed a button from a text box";
    SetFocus(at(kOther));  // as a click would leave it, without the default look
    press(VK_RETURN);
    EXPECT_EQ(w.pressed, (std::vector<int>{kOther}));
    press(VK_TAB, true);
    press(VK_RETURN);
    EXPECT_EQ(w.pressed, (std::vector<int>{kOther, kTry}));
    press(VK_SPACE);
    EXPECT_EQ(w.pressed, (std::vector<int>{kOther, kTry, kTry}));
    // In the multi-line box Enter is a new line.
    SetFocus(at(kNotes));
    SendMessageW(at(kNotes), EM_SETSEL, 0, 0);
    press(VK_RETURN);
    EXPECT_EQ(w.pressed.size(), 3u);
}

TEST_F(Keyboard, EscClosesNothingAndSwitchingBackRestoresTheFocus) {
    for (int id : {kNotes, kTry, kName}) {
        SetFocus(at(id));
        press(VK_ESCAPE);
        EXPECT_TRUE(IsWindow(w.hwnd()) && IsWindowVisible(w.hwnd())) << "Esc in control " << id << " closed it";
    }
    EXPECT_TRUE(w.pressed.empty());

    SetFocus(at(kOther));
    HWND other = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    pump();
    EXPECT_NE(focus(), at(kOther));
    SetActiveWindow(w.hwnd());
    pump();
    EXPECT_EQ(focus(), at(kOther)) << "the focus did not come back: " << nameOf(focus());
    DestroyWindow(other);
}

TEST_F(Keyboard, AmpersandInACaptionIsAMnemonic) {
    SetFocus(at(kNotes));
    PostMessageW(at(kNotes), WM_SYSCHAR, L'd', 1 | (1u << 29));
    pump();
    EXPECT_EQ(w.pressed, (std::vector<int>{kTry})) << "Alt+D did not press \"&Dene\"";
}

TEST_F(Keyboard, EmbeddedControlIsOfferedItsKeysFirstAndKeepsThoseItTakes) {
    FakeActiveObject browser;
    w.embedded = &browser;
    ASSERT_EQ(focus(), at(kName));

    browser.takeKeys(true);  // the page takes Tab and Enter
    press(VK_TAB);
    press(VK_RETURN);
    EXPECT_EQ(focus(), at(kName)) << "a key the control took moved the focus";
    ASSERT_EQ(browser.offered.size(), 4u);  // down and up of each
    EXPECT_EQ(browser.offered[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(browser.offered[0].wParam, static_cast<WPARAM>(VK_TAB));
    EXPECT_EQ(browser.offered[0].hwnd, at(kName));
    EXPECT_EQ(browser.offered[2].wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_TRUE(w.pressed.empty());

    browser.takeKeys(false);  // Tab past the page's last link: out to the next control
    browser.offered.clear();
    press(VK_TAB);
    EXPECT_EQ(focus(), at(kTry)) << nameOf(focus());
    ASSERT_FALSE(browser.offered.empty());
    EXPECT_EQ(browser.offered[0].wParam, static_cast<WPARAM>(VK_TAB));

    // Keys for other controls, and messages that are not keys, are not offered.
    browser.offered.clear();
    press(VK_RETURN);
    PostMessageW(at(kName), WM_PAINT, 0, 0);
    PostMessageW(at(kName), WM_MOUSEMOVE, 0, 0);
    pump();
    EXPECT_TRUE(browser.offered.empty()) << browser.offered.size() << " offered";
    EXPECT_EQ(w.pressed, (std::vector<int>{kTry}));
    EXPECT_EQ(browser.refs(), 1u) << "a reference to the control was kept or lost";
}

}  // namespace
}  // namespace dva
