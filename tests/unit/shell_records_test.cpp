// The notification-area record's bytes, the decoding of the icon's reports, and the layout
// arithmetic, on both pointer widths and at the common dpi settings; the numbers in messages.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

#include "notify_record.h"
#include "number_text.h"
#include "twips.h"

namespace dva {
namespace {

// The record the shell reads: the window and icon handed in, the fixed id, flags and callback,
// the tip, and zero in every byte between the fields. The offsets and sizes themselves are
// checked against the system's NOTIFYICONDATAA where the program is compiled.
template <class Handle>
void expectRecordFor(Handle window, Handle icon) {
    const NotifyRecordT<Handle> r = makeNotifyRecord(window, icon);
    EXPECT_EQ(r.size, sizeof r);
    EXPECT_EQ(r.window, window);
    EXPECT_EQ(r.icon, icon);
    EXPECT_EQ(r.id, 1u);
    EXPECT_EQ(r.flags, 7u);              // message, icon and tip valid
    EXPECT_EQ(r.callbackMessage, 0x8001u);  // WM_APP + 1, the program's own
    // The title, one NUL, then blanks to the end of the field.
    EXPECT_EQ(std::string(r.tip, sizeof r.tip), std::string("Dravonil Veriz Avize") + '\0' + std::string(43, ' '));

    unsigned char bytes[sizeof r];
    std::memcpy(bytes, &r, sizeof r);
    const auto clear = [&](std::size_t at, std::size_t size) { std::memset(bytes + at, 0, size); };
    clear(offsetof(NotifyRecordT<Handle>, size), sizeof r.size);
    clear(offsetof(NotifyRecordT<Handle>, window), sizeof r.window);
    clear(offsetof(NotifyRecordT<Handle>, id), sizeof r.id);
    clear(offsetof(NotifyRecordT<Handle>, flags), sizeof r.flags);
    clear(offsetof(NotifyRecordT<Handle>, callbackMessage), sizeof r.callbackMessage);
    clear(offsetof(NotifyRecordT<Handle>, icon), sizeof r.icon);
    clear(offsetof(NotifyRecordT<Handle>, tip), sizeof r.tip);
    for (std::size_t i = 0; i < sizeof r; ++i) EXPECT_EQ(bytes[i], 0) << "padding byte " << i << " of " << sizeof r;
}

TEST(NotifyRecord, CarriesTheWindowIconAndTipWithZeroPaddingOnBothPointerWidths) {
    expectRecordFor<std::uint32_t>(0x00010050u, 0x00C70001u);
    // Handles that use their upper half: nothing of them is cut off on 64-bit Windows.
    expectRecordFor<std::uint64_t>(0x0000000100020050ull, 0x0000000200C70001ull);
}

TEST(NotifyEvents, DoubleClickAndRightPressShowTheWindowWhateverTheHighWordHolds) {
    // The callback is the program's own message, past the system's and the mouse's.
    EXPECT_GE(kIconCallbackMessage, 0x8000u);
    EXPECT_LT(kIconCallbackMessage, 0xC000u);
    for (std::uintptr_t highWord : {0u, 1u << 16}) {
        for (int message = 512; message <= 520; ++message) {
            const int event = notifyEventFromCallback(highWord | static_cast<std::uintptr_t>(message));
            EXPECT_EQ(event, message);
            EXPECT_EQ(notifyEventShowsWindow(event), message == 515 || message == 516) << message;
        }
    }
}

TEST(Layout, TwipsAndPointsBecomePixelsAtEachDpi) {
    // The main window's client area and a control of the detections window.
    EXPECT_EQ(twipsToPixels(6105, 96), 407);
    EXPECT_EQ(twipsToPixels(5595, 96), 373);
    EXPECT_EQ(twipsToPixels(6105, 120), 509);  // 508.75
    EXPECT_EQ(twipsToPixels(6105, 144), 611);  // 610.5 rounds away from zero
    EXPECT_EQ(twipsToPixels(3615, 144), 362);  // 361.5
    EXPECT_EQ(twipsToPixels(-120, 96), -8);    // the browser control starts above the client area
    EXPECT_EQ(twipsToPixels(-120, 144), -12);
    EXPECT_EQ(fontHeight(825, 96), -11);       // 8.25 pt
    EXPECT_EQ(fontHeight(825, 144), -17);      // 16.5 px
    EXPECT_EQ(fontHeight(975, 120), -16);      // 9.75 pt: 16.25 px
}

TEST(MessageNumbers, WrittenAsTheLibraryWouldWriteThem) {
    constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
    for (const std::uint64_t v : {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{10}, std::uint64_t{1234567890},
                                  std::uint64_t{4294967295u}, kMax64}) {
        EXPECT_EQ(decimalText(v), std::to_wstring(v));
    }
    for (const std::uint32_t v : {0u, 5u, 0x80004005u, 0x800C0005u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        wchar_t expected[16];
        std::swprintf(expected, 16, L"0x%08lX", static_cast<unsigned long>(v));
        EXPECT_EQ(hexCodeText(v), expected);
    }
}

}  // namespace
}  // namespace dva
