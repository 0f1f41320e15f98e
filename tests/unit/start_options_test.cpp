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

}  // namespace
}  // namespace dva
