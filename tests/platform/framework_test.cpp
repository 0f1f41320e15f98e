// The window framework's table of routes, and the owners of handles and COM references: what each
// row and each owner call does to the window, the handle or the reference count.
#include <windows.h>

#include <gtest/gtest.h>

#include <servprov.h>

#include <string>
#include <tuple>
#include <vector>

#include "com.h"
#include "handles.h"
#include "plain_window.h"
#include "window.h"

namespace dva {
namespace {

// ---- routes ----

UINT registeredMessage() {
    static const UINT message = RegisterWindowMessageW(L"dva platform test: a registered message");
    return message;
}
UINT notRegistered() { return 0; }  // as RegisterWindowMessageW answers when it fails

constexpr WindowSpec kRowsSpec = plainWindow(L"dvaMessageRows");

class RowsWindow final : public Window {
public:
    Created make();

    std::vector<std::tuple<WPARAM, LPARAM>> parameters;  // of the registered message
    std::wstring typed;
    int neverMatched = 0, seenByOverride = 0, endings = 0;

    // The routes' handlers.
    void onRegistered(WPARAM wp, LPARAM lp) { parameters.emplace_back(wp, lp); }
    void onChar(wchar_t c) { typed += c; }
    void onNeverMatched() { ++neverMatched; }
    bool onQueryEnd() { return ++endings == 1; }

private:
    static const Route kRoutes[];
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_CHAR || msg == registeredMessage()) ++seenByOverride;
        return Window::onMessage(msg, wp, lp);
    }
};

const Route RowsWindow::kRoutes[] = {
    registeredRoute<&registeredMessage, &RowsWindow::onRegistered>(),
    messageRoute<WM_CHAR, &RowsWindow::onChar>(),
    registeredRoute<&notRegistered, &RowsWindow::onNeverMatched>(),
    messageRoute<WM_QUERYENDSESSION, &RowsWindow::onQueryEnd>(),
};

Created RowsWindow::make() { return createFrom(kRowsSpec, {}, kRoutes); }

TEST(Window, RoutesRunTheirHandlerWithTheParametersUnpackedAndARouteOfNumberZeroMatchesNothing) {
    RowsWindow w;
    ASSERT_TRUE(w.make().ok);
    ASSERT_NE(registeredMessage(), 0u);

    EXPECT_EQ(SendMessageW(w.hwnd(), registeredMessage(), 7, 9), 0);
    EXPECT_EQ(w.parameters, (std::vector<std::tuple<WPARAM, LPARAM>>{{7, 9}}));

    EXPECT_EQ(SendMessageW(w.hwnd(), WM_CHAR, L'x', 1), 0);
    EXPECT_EQ(w.typed, L"x") << "the character was not unpacked for the handler";
    // A handler's bool is the message's answer.
    EXPECT_EQ(SendMessageW(w.hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(SendMessageW(w.hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_EQ(w.seenByOverride, 2) << "an override no longer sees the messages before the table";

    // Message 0 (WM_NULL) is what the system sends to check that a window answers; the row whose
    // name was not registered must not take it.
    SendMessageW(w.hwnd(), WM_NULL, 0, 0);
    EXPECT_EQ(w.neverMatched, 0);
    // A message without a row goes on to the system's default handling.
    EXPECT_EQ(SendMessageW(w.hwnd(), WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(w.parameters.size(), 1u);
    EXPECT_EQ(w.typed, L"x");
}

// The system's word of a device: only a volume's broadcast carries drive letters, and the header
// is read before the unit mask.
TEST(Window, DeviceChangeIsUnpackedToItsEventAndTheVolumesLetters) {
    DEV_BROADCAST_VOLUME volume{sizeof volume, DBT_DEVTYP_VOLUME, 0, (1u << 4) | (1u << 5), 0};
    EXPECT_EQ(Crack<WM_DEVICECHANGE>::args(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)),
              (std::tuple<UINT, DWORD>{DBT_DEVICEARRIVAL, 0x30}));
    DEV_BROADCAST_HDR port{sizeof port, DBT_DEVTYP_PORT, 0};
    EXPECT_EQ(Crack<WM_DEVICECHANGE>::args(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port)),
              (std::tuple<UINT, DWORD>{DBT_DEVICEARRIVAL, 0}));
    EXPECT_EQ(Crack<WM_DEVICECHANGE>::args(DBT_DEVNODES_CHANGED, 0), (std::tuple<UINT, DWORD>{DBT_DEVNODES_CHANGED, 0}));
}

// ---- handle owners ----

std::vector<int> closedHandles;
struct CountedTraits {
    using Handle = int;
    static int invalid() { return 0; }
    static void close(int h) { closedHandles.push_back(h); }
};
using CountedHandle = Unique<CountedTraits>;

TEST(Owners, HandlePutClosesTheOldHandleAndReleaseGivesItUpUnclosed) {
    closedHandles.clear();
    {
        CountedHandle h(5);
        *h.put() = 6;  // as a call filling an out-parameter does
        EXPECT_EQ(closedHandles, std::vector<int>{5});
        EXPECT_EQ(h.get(), 6);
        EXPECT_EQ(h.release(), 6);
        EXPECT_FALSE(h);
        EXPECT_EQ(h.put(), h.put()) << "an empty owner's slot moves";
    }
    EXPECT_EQ(closedHandles, std::vector<int>{5}) << "a released handle was closed by its former owner";

    UniqueHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    EXPECT_TRUE(token);
    HANDLE raw = token.release();
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(raw, &flags)) << "the released handle was closed";
    CloseHandle(raw);
}

// ---- COM references ----

// A COM object that counts its references and has one interface beside IUnknown.
class CountedObject final : public IServiceProvider {
public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IServiceProvider)) {
            *out = static_cast<IServiceProvider*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID, REFIID, void** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
};

TEST(Owners, ComQueryPutAndReleaseKeepTheReferenceCountRight) {
    CountedObject object;
    {
        ComRef<IUnknown> unknown;
        *unknown.put() = &object;  // the creator's reference, handed over
        ComRef<IServiceProvider> services;
        EXPECT_EQ(unknown.query(services), S_OK);
        EXPECT_EQ(services.get(), &object);
        EXPECT_EQ(object.refs, 2u);

        ComRef<IDispatch> dispatch;
        EXPECT_EQ(unknown.query(dispatch), E_NOINTERFACE);
        EXPECT_FALSE(dispatch);
        EXPECT_FALSE(unknown.query<IDispatch>());
        EXPECT_EQ(ComRef<IUnknown>().query(services), E_POINTER);
        EXPECT_FALSE(services) << "a failed query left the old reference in place";
        EXPECT_EQ(object.refs, 1u) << "the failed query did not release what it replaced";

        services = unknown.query<IServiceProvider>();
        EXPECT_EQ(object.refs, 2u);
        services.put();
        EXPECT_EQ(object.refs, 1u) << "put() kept the reference it replaced";

        services = unknown.query<IServiceProvider>();
        IServiceProvider* raw = services.release();
        EXPECT_FALSE(services);
        EXPECT_EQ(object.refs, 2u) << "release() gave the reference back instead of up";
        raw->Release();
    }
    EXPECT_EQ(object.refs, 0u);
}

}  // namespace
}  // namespace dva
