#include "launcher/platform/windows_path.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using bx_test::ScratchFolder;
using bx_test::write_bytes;

// Runs the body with the process's current directory set to `directory`.
template <class F>
void in_directory(const fs::path& directory, F&& body) {
    const fs::path previous = fs::current_path();
    fs::current_path(directory);
    try {
        body();
    } catch (...) {
        fs::current_path(previous);
        throw;
    }
    fs::current_path(previous);
}

// Share and extended-length paths keep their meaning; only what a path lacks is taken from the
// current directory, its drive or share.
TEST(AbsolutePath, GivesEachFormTheMeaningWindowsGivesIt) {
    ScratchFolder folder;
    const std::wstring here = folder.path().native();
    const std::wstring drive = here.substr(0, 2);
    in_directory(folder.path(), [&] {
        const struct {
            std::wstring path;
            std::wstring absolute;
        } cases[] = {
            {L"cfg\\my.json", here + L"\\cfg\\my.json"},
            {L"cfg/../my.json", here + L"\\my.json"},
            {L".", here + L"\\"},
            {L"\\Games\\x", drive + L"\\Games\\x"},
            {drive + L"rel\\x", here + L"\\rel\\x"},
            {L"D:\\Games\\sub\\..\\x", L"D:\\Games\\x"},
            {L"\\\\server\\share\\launcher\\..\\cfg.json", L"\\\\server\\share\\cfg.json"},
            {L"\\\\server\\share\\..\\..\\cfg.json", L"\\\\server\\share\\cfg.json"},
            {L"\\\\?\\C:\\Play\\..\\launcher.json", L"\\\\?\\C:\\launcher.json"},
            {L"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(bx::absolute_path(c.path).native(), c.absolute)
                << testing::PrintToString(c.path);
        }
    });
    EXPECT_THROW(bx::absolute_path(fs::path()), fs::filesystem_error);
}

TEST(AbsolutePath, AnExtendedLengthPathOpensTheSameFile) {
    ScratchFolder folder;
    write_bytes(folder / L"a.bin", "x");
    const fs::path extended = bx::absolute_path(L"\\\\?\\" + folder.path().native() + L"\\sub\\..\\a.bin");
    EXPECT_EQ(extended.native(), L"\\\\?\\" + folder.path().native() + L"\\a.bin");
    EXPECT_TRUE(fs::is_regular_file(extended));
}

// "Is this the same file?" as the file system answers it: letter case folds beyond A-Z, and the
// comparison, the keys of name sets and the file that Windows opens all agree.
TEST(SameFileName, FoldsLetterCaseAsTheFileSystemDoes) {
    const struct {
        std::wstring left;
        std::wstring right;
        bool same;
    } cases[] = {
        {L"Data.PAK", L"data.pak", true},
        {L"\u00C9.pak", L"\u00E9.pak", true},          // É and é
        {L"\u03A9mega", L"\u03C9MEGA", true},          // Ω and ω
        {L"\u00FF", L"\u0178", true},                  // ÿ and Ÿ
        {L"\u00D1and\u00FA", L"\u00F1AND\u00DA", true},  // Ñ, ú
        {L"stra\u00DFe", L"STRASSE", false},           // ß is not SS
        {L"\u212A", L"k", false},                      // the Kelvin sign is not k
        {L"\U00010428", L"\U00010400", false},         // beyond the BMP nothing folds
        {L"a.pak", L"a.pak ", false},
        {L"a/b", L"a\\b", false},
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        const std::string name = testing::PrintToString(c.left) + " / " + testing::PrintToString(c.right);
        EXPECT_EQ(bx::same_file_name(c.left, c.right), c.same) << name;
        EXPECT_EQ(bx::file_name_key(c.left) == bx::file_name_key(c.right), c.same) << name;
        if (c.left.find_first_of(L"/\\ ") != std::wstring::npos ||
            c.right.find_first_of(L"/\\ ") != std::wstring::npos) {
            continue;
        }
        write_bytes(folder / (L"x" + c.left), "x");
        EXPECT_EQ(fs::exists(folder / (L"x" + c.right)), c.same) << name << " on disk";
        fs::remove(folder / (L"x" + c.left));
    }
    EXPECT_EQ(bx::file_name_key(L"data/\u00E9t\u00E9.pak"), L"DATA/\u00C9T\u00C9.PAK");
    EXPECT_EQ(bx::file_name_key(L"\U00010428x"), L"\U00010428X");
}

}  // namespace
