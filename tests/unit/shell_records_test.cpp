// The notification-area record's bytes, the decoding of the icon's reports, and the layout
// arithmetic, on both pointer widths and at the common dpi settings; the numbers in messages.
#include <gtest/gtest.h>

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

template <class Handle>
std::string bytesOf(const NotifyRecordT<Handle>& r) {
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

std::uint32_t u32At(const std::string& b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

TEST(NotifyRecord, ThirtyTwoBitLayoutIsTheEightyEightByteRecord) {
    const auto b = bytesOf(makeNotifyRecord<std::uint32_t>(0x00010050u, 0x00C70001u));
    ASSERT_EQ(b.size(), 88u);
    EXPECT_EQ(u32At(b, 0), 88u);          // record size
    EXPECT_EQ(u32At(b, 4), 0x00010050u);  // window
    EXPECT_EQ(u32At(b, 8), 1u);           // icon identifier
    EXPECT_EQ(u32At(b, 12), 7u);          // message, icon and tip valid
    EXPECT_EQ(u32At(b, 16), 512u);        // callback: the mouse-move message
    EXPECT_EQ(u32At(b, 20), 0x00C70001u); // icon
    EXPECT_EQ(b.substr(24), std::string("Dravonil Veriz Avize") + '\0' + std::string(43, ' '));
}

TEST(NotifyRecord, SixtyFourBitLayoutKeepsTheValuesWithWideHandles) {
    const std::uint64_t window = 0x0000000100020050ull, icon = 0x0000000200C70001ull;
    const auto b = bytesOf(makeNotifyRecord<std::uint64_t>(window, icon));
    ASSERT_EQ(b.size(), 104u);
    EXPECT_EQ(u32At(b, 0), 104u);
    std::uint64_t w, i;
    std::memcpy(&w, b.data() + 8, 8);
    std::memcpy(&i, b.data() + 32, 8);
    EXPECT_EQ(w, window);
    EXPECT_EQ(u32At(b, 16), 1u);
    EXPECT_EQ(u32At(b, 20), 7u);
    EXPECT_EQ(u32At(b, 24), 512u);
    EXPECT_EQ(i, icon);
    EXPECT_EQ(b.substr(40), std::string("Dravonil Veriz Avize") + '\0' + std::string(43, ' '));
    // Padding is zero, so the shell never reads stray bytes.
    EXPECT_EQ(u32At(b, 4), 0u);
    EXPECT_EQ(u32At(b, 28), 0u);
}

TEST(NotifyEvents, DoubleClickAndRightPressShowTheWindowAtEveryDpi) {
    for (int dpi : {96, 120, 144}) {
        const float twipsPerPixel = 1440.0f / static_cast<float>(dpi);
        for (int message = 512; message <= 520; ++message) {
            const int event = notifyEventFromMouseX(static_cast<float>(message) * twipsPerPixel, twipsPerPixel);
            EXPECT_EQ(event, message) << "dpi " << dpi;
            EXPECT_EQ(notifyEventShowsWindow(event), message == 515 || message == 516) << message;
        }
    }
    // A pointer moving over the window's own background at 96 dpi stays below 407 columns.
    EXPECT_FALSE(notifyEventShowsWindow(notifyEventFromMouseX(406 * 15.0f, 15.0f)));
    // Halves round to the even neighbour.
    EXPECT_EQ(notifyEventFromMouseX(515.5f, 1.0f), 516);
    EXPECT_EQ(notifyEventFromMouseX(516.5f, 1.0f), 516);
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
