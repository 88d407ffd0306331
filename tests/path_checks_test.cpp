#include "launcher/platform/path_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AsciiIequals, FoldsOnlyAsciiLetters) {
    const struct {
        std::string a, b;
        bool equal;
    } cases[] = {
        {"ABCDEF", "abcdef", true},
        {"", "", true},
        {"abc", "abcd", false},
        {"abcd", "abc", false},
        {"\xC3\x89", "\xC3\xA9", false},  // É and é: not ASCII, not folded
        {"@[", "`{", false},              // the neighbours of A-Z and a-z do not fold
        {"a1F", "A1f", true},
        {std::string("a\0b", 3), std::string("A\0B", 3), true},
        {std::string("a\0b", 3), "a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::ascii_iequals(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
}

TEST(IsHexDigit, AcceptsExactlyTheHexAlphabet) {
    for (int byte = 0; byte < 256; ++byte) {
        const bool expected = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'F') ||
                              (byte >= 'a' && byte <= 'f');
        EXPECT_EQ(bx::is_hex_digit(static_cast<unsigned char>(byte)), expected) << byte;
    }
}

TEST(IsSafeRelativePath, AcceptsPlainRelativePaths) {
    for (const std::string path : {"data/maps/a.bin", "a", "...", "a b/c", "a./b", "..a/b..",
                                   "\xC3\xB1/\xE2\x80\xA2.dat", "con", "x\x7Fy",
                                   "a#b%c&d'e(f)g+h,i;j=k@l[m]n^o`p{q}r~s"}) {
        EXPECT_TRUE(bx::is_safe_relative_path(path)) << path;
    }
}

TEST(IsSafeRelativePath, RefusesEscapesRootsAndAliases) {
    const std::string cases[] = {
        "", "/a", "a/", "a//b", "./a", "a/./b", "a/../b", "..", ".", "../a", "a/..",
        "a\\b", "D:a", "a:b", "C:/x", "//server/share", "file.bin:stream",
        // Win32 cuts a name at NUL, so this would alias "a" and lose its ".tmp" suffix.
        std::string("a\0.bin", 6), std::string("\0", 1),
        // No Windows file name can hold these, so such a file could never be written.
        "bad?.dat", "a*", "data/<x>", "a>b", "a|b", "say\"hi\".txt", "x\x01y", "x\x1Fy",
        "tab\there", "line\nfeed",
    };
    for (const std::string& path : cases) {
        EXPECT_FALSE(bx::is_safe_relative_path(path)) << testing::PrintToString(path);
    }
}

TEST(IsSha256Hex, WantsSixtyFourHexDigits) {
    const std::string a64(64, 'a');
    std::string mixed = std::string(32, 'A') + std::string(32, 'f');
    std::string one_g = a64;
    one_g[40] = 'g';
    EXPECT_TRUE(bx::is_sha256_hex(a64));
    EXPECT_TRUE(bx::is_sha256_hex(mixed));
    EXPECT_TRUE(bx::is_sha256_hex(std::string(64, '0')));
    EXPECT_FALSE(bx::is_sha256_hex(one_g));
    EXPECT_FALSE(bx::is_sha256_hex(std::string(63, 'a')));
    EXPECT_FALSE(bx::is_sha256_hex(std::string(65, 'a')));
    EXPECT_FALSE(bx::is_sha256_hex(" " + std::string(63, 'a')));
    EXPECT_FALSE(bx::is_sha256_hex(""));
}

TEST(IsFullyAbsolute, WantsADriveOrShareAndARoot) {
    const struct {
        const wchar_t* path;
        bool absolute;
    } cases[] = {
        {L"D:\\Games", true},           {L"d:/games", true},
        {L"\\\\server\\share\\x", true}, {L"//server/share", true},
        {L"\\\\?\\C:\\x", true},         {L"\\\\?\\UNC\\server\\share", true},
        {L"\\\\.\\C:\\x", true},
        {L"D:Games", false},             {L"\\Games", false},
        {L"/Games", false},              {L"Games\\x", false},
        {L"", false},                    {L"\\\\\\x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::is_fully_absolute(c.path), c.absolute)
            << testing::PrintToString(std::wstring(c.path));
    }
}

TEST(IsPathWithin, ComparesNormalFormsWithATrailingSeparator) {
    const struct {
        const wchar_t* candidate;
        bool inside;
    } cases[] = {
        {L"D:\\Games\\x.bin", true},
        {L"d:\\games\\DATA\\x.bin", true},
        {L"D:\\Games\\sub\\..\\x.bin", true},
        {L"D:\\Games\\.\\x.bin", true},
        {L"D:/Games/x.bin", true},
        {L"D:\\Games\\", true},
        {L"D:\\Games\\..\\x.bin", false},
        {L"D:\\Games\\sub\\..\\..\\x.bin", false},
        {L"D:\\Games2\\x.bin", false},
        {L"D:\\Games", false},
        {L"D:\\Gam", false},
        {L"E:\\Games\\x.bin", false},
    };
    for (const wchar_t* directory : {L"D:\\Games", L"D:\\Games\\", L"D:/Games"}) {
        for (const auto& c : cases) {
            EXPECT_EQ(bx::is_path_within(c.candidate, directory), c.inside)
                << testing::PrintToString(std::wstring(c.candidate)) << " in "
                << testing::PrintToString(std::wstring(directory));
        }
    }
}

// What Windows makes of each root: a share and the device of an extended path are roots that
// ".." never climbs above; separators become single backslashes.
TEST(NormalPath, KeepsEachKindOfRoot) {
    const struct {
        const wchar_t* path;
        const wchar_t* normal;
    } cases[] = {
        {L"D:\\Games\\sub\\..\\x.bin", L"D:\\Games\\x.bin"},
        {L"D:/Games//./x.bin", L"D:\\Games\\x.bin"},
        {L"D:\\Play\\.", L"D:\\Play\\"},
        {L"D:\\Play\\Launcher\\..", L"D:\\Play\\"},
        {L"D:\\Play\\", L"D:\\Play\\"},
        {L"D:\\..\\..\\x", L"D:\\x"},
        {L"D:\\", L"D:\\"},
        {L"\\\\server\\share\\x\\..\\y", L"\\\\server\\share\\y"},
        {L"\\\\server\\share\\..\\..\\y", L"\\\\server\\share\\y"},
        {L"//server/share/game/./a", L"\\\\server\\share\\game\\a"},
        {L"\\\\server\\share", L"\\\\server\\share\\"},
        {L"\\\\?\\C:\\Games\\..\\x", L"\\\\?\\C:\\x"},
        {L"\\\\?\\C:\\..\\x", L"\\\\?\\C:\\x"},
        {L"\\\\?\\UNC\\server\\share\\..\\x", L"\\\\?\\UNC\\server\\share\\x"},
        {L"\\\\.\\C:\\a\\..\\b", L"\\\\.\\C:\\b"},
        {L"\\Games\\..\\x", L"\\x"},
        {L"D:Games\\..\\x", L"D:x"},
        {L"a\\..\\..\\b", L"..\\b"},
        {L"a\\..", L"."},
        {L"..\\..", L"..\\.."},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::normal_path(c.path).native(), c.normal)
            << testing::PrintToString(std::wstring(c.path));
    }
}

TEST(JoinPath, TakesWhatThePathLacksFromTheBase) {
    const struct {
        const wchar_t* base;
        const wchar_t* path;
        const wchar_t* joined;
    } cases[] = {
        {L"D:\\Play", L"game", L"D:\\Play\\game"},
        {L"D:\\Play\\", L"..\\Game", L"D:\\Play\\..\\Game"},
        {L"D:\\Play", L"\\Games", L"D:\\Games"},
        {L"D:\\Play", L"D:Games", L"D:\\Play\\Games"},
        {L"D:\\Play", L"E:Games", L"E:Games"},
        {L"D:\\Play", L"E:\\Games", L"E:\\Games"},
        {L"D:\\Play", L"\\\\server\\share\\x", L"\\\\server\\share\\x"},
        {L"\\\\server\\share\\launcher", L"game", L"\\\\server\\share\\launcher\\game"},
        {L"\\\\server\\share\\launcher", L"\\Games", L"\\\\server\\share\\Games"},
        {L"\\\\server\\share", L"D:Games", L"D:Games"},
        {L"\\\\?\\C:\\Play", L"\\Games", L"\\\\?\\C:\\Games"},
        {L"\\\\?\\C:\\Play", L"game", L"\\\\?\\C:\\Play\\game"},
        {L"", L"game", L"game"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::join_path(c.base, c.path).native(), c.joined)
            << testing::PrintToString(std::wstring(c.base)) << " + "
            << testing::PrintToString(std::wstring(c.path));
    }
}

TEST(IsPathWithin, NeverLeavesAShareOrAnExtendedDevice) {
    const struct {
        const wchar_t* candidate;
        const wchar_t* directory;
        bool inside;
    } cases[] = {
        {L"\\\\server\\share\\game\\x.bin", L"\\\\server\\share\\game", true},
        {L"//SERVER/Share/game/x.bin", L"\\\\server\\share\\game", true},
        {L"\\\\server\\share\\game\\..\\x.bin", L"\\\\server\\share\\game", false},
        // ".." cannot reach another share of the host.
        {L"\\\\server\\share\\..\\other\\x.bin", L"\\\\server\\other", false},
        {L"\\\\server\\share\\..\\..\\share\\x.bin", L"\\\\server\\share", true},
        {L"\\\\server\\share2\\x.bin", L"\\\\server\\share", false},
        {L"\\server\\share\\x.bin", L"\\\\server\\share", false},
        {L"\\\\?\\C:\\Games\\x.bin", L"\\\\?\\C:\\Games", true},
        {L"\\\\?\\C:\\Games\\..\\x.bin", L"\\\\?\\C:\\Games", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::is_path_within(c.candidate, c.directory), c.inside)
            << testing::PrintToString(std::wstring(c.candidate)) << " in "
            << testing::PrintToString(std::wstring(c.directory));
    }
}

TEST(IsPathWithin, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(bx::is_path_within(L"D:\\JUEGOS\\x", L"d:\\juegos"));
    EXPECT_FALSE(bx::is_path_within(L"D:\\\u00D1\\x", L"D:\\\u00F1"));
}

}  // namespace
