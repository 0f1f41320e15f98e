// The command line of a start: only "/signin", as a whole word in any letter case, makes it a
// sign-in start; everything else leaves the ordinary start.
#include "start_options.h"

#include <gtest/gtest.h>

namespace dva {
namespace {

bool signIn(std::wstring_view arguments) { return parseStartOptions(arguments).kind == StartKind::SignIn; }

TEST(StartOptions, TheSwitchInAnyCaseAnyNumberOfTimesAmongOtherWords) {
    EXPECT_TRUE(signIn(L"/signin"));
    EXPECT_TRUE(signIn(L"/SIGNIN"));
    EXPECT_TRUE(signIn(L"/SignIn"));
    EXPECT_TRUE(signIn(L"/signin /signin"));
    EXPECT_TRUE(signIn(L"  \t/signin  "));
    EXPECT_TRUE(signIn(L"merhaba /signin dünya"));
    EXPECT_TRUE(signIn(L"-x /SIGNIN"));
    EXPECT_TRUE(signIn(L"\"/signin\""));  // quoted by a tool that quotes every argument
    EXPECT_TRUE(signIn(L"\"C:\\Ar Ge\\x y\" /signin"));
    EXPECT_TRUE(signIn(L"averyveryverylongwordthatgoesonandon /signin"));
    // Compiled in: the program can rely on the same answer at compile time.
    static_assert(parseStartOptions(L"a /SiGnIn b").kind == StartKind::SignIn);
}

TEST(StartOptions, EverythingElseIsAnOrdinaryStart) {
    EXPECT_FALSE(signIn(L""));
    EXPECT_FALSE(signIn(L"   "));
    EXPECT_FALSE(signIn(L"signin"));
    EXPECT_FALSE(signIn(L"-signin"));
    EXPECT_FALSE(signIn(L"--signin"));
    EXPECT_FALSE(signIn(L"/sign"));
    EXPECT_FALSE(signIn(L"/signin2"));
    EXPECT_FALSE(signIn(L"/signinx /signi"));
    EXPECT_FALSE(signIn(L"x/signin"));
    EXPECT_FALSE(signIn(L"/signin,"));
    EXPECT_FALSE(signIn(L"\"/signin x\""));  // one quoted word with a blank inside
    EXPECT_FALSE(signIn(L"/s\u0130gn\u0131n"));  // Turkish dotted capital I and dotless small i
    EXPECT_FALSE(signIn(L"/signin/signin"));
}

// The support copy's switch is read the same way, and apart from the sign-in one.
TEST(StartOptions, TheSupportSwitchIsItsOwn) {
    EXPECT_TRUE(parseStartOptions(L"/support").supportOnly);
    EXPECT_TRUE(parseStartOptions(L"x /SUPPORT y").supportOnly);
    EXPECT_EQ(parseStartOptions(L"/support").kind, StartKind::Ordinary);
    EXPECT_FALSE(parseStartOptions(L"/signin").supportOnly);
    EXPECT_FALSE(parseStartOptions(L"/supports support -support").supportOnly);
}

// "/restore" takes the words after it: the hash, and a folder that may hold blanks when quoted;
// the other switches read as before.
TEST(StartOptions, TheRestoreSwitchTakesTheWordsAfterIt) {
    const std::wstring hash(64, L'A');
    const struct {
        std::wstring arguments;
        bool restore;
        std::wstring hash, folder;
        bool extra;
    } cases[] = {
        {L"/restore " + hash, true, hash, L"", false},
        {L"/RESTORE " + hash + L" \"C:\\Geri Alınan Dosyalar\\\"", true, hash, L"C:\\Geri Alınan Dosyalar\\", false},
        {L"/signin /Restore\t\"" + hash + L"\"  D:\\x  ", true, hash, L"D:\\x", false},
        {L"/restore " + hash + L" C:\\Geri Alınan", true, hash, L"C:\\Geri", true},
        {L"/restore", true, L"", L"", false},
        {L"restore " + hash, false, L"", L"", false},
        {L"/restores " + hash, false, L"", L"", false},
        {L"/signin", false, L"", L"", false},
    };
    for (const auto& c : cases) {
        const StartOptions options = parseStartOptions(c.arguments);
        EXPECT_EQ(options.restore, c.restore);
        EXPECT_EQ(options.restoreHash, c.hash);
        EXPECT_EQ(options.restoreFolder, c.folder);
        EXPECT_EQ(options.restoreExtraWords, c.extra);
    }
    // The words after it are its own, not switches: a hash that reads "/support" is a bad hash.
    EXPECT_FALSE(parseStartOptions(L"/restore /support").supportOnly);
    EXPECT_EQ(parseStartOptions(L"/signin /restore x").kind, StartKind::SignIn);
}

}  // namespace
}  // namespace dva
