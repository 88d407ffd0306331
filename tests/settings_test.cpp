#include "launcher/config/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "launcher/platform/unique.h"
#include "scratch_folder.h"

namespace {

using bx_test::file_bytes;
using bx_test::ScratchFolder;
using bx_test::write_bytes;
namespace fs = std::filesystem;

fs::path settings_in(const ScratchFolder& folder) {
    return folder / L"KadeOrvindal\\launcher-settings.json";
}

TEST(SettingsFile, HasTheExactFourLineForm) {
    const std::string empty = bx::format_settings({});
    EXPECT_EQ(empty, "{\n  \"savedUsername\": \"\",\n  \"rememberUsername\": false\n}\n");
    EXPECT_EQ(empty.size(), 55u);
    const std::string ana = bx::format_settings({L"ana", true});
    EXPECT_EQ(ana, "{\n  \"savedUsername\": \"ana\",\n  \"rememberUsername\": true\n}\n");
    EXPECT_EQ(ana.size(), 57u);
    EXPECT_EQ(bx::format_settings({L"a\"b\\c\u00F1", false}),
              "{\n  \"savedUsername\": \"a\\\"b\\\\c\xC3\xB1\",\n  \"rememberUsername\": false\n}\n");
}

TEST(SaveSettings, WritesTheFileAndItsFolder) {
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    bx::save_settings_to({}, path);
    EXPECT_EQ(file_bytes(path), bx::format_settings({}));
    EXPECT_EQ(fs::file_size(path), 55u);
    EXPECT_FALSE(fs::exists(path.native() + L".tmp"));
}

TEST(SaveSettings, RoundTripsAwkwardNames) {
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    for (const std::wstring name : {L"", L"ana", L"a\"b", L"back\\slash", L"Mu\u00F1oz",
                                    L"\U0001F3AE gamer", L"tab\there\nline", L"/slash/"}) {
        for (bool remember : {true, false}) {
            bx::save_settings_to({name, remember}, path);
            const bx::LauncherSettings loaded = bx::load_settings_from(path);
            EXPECT_EQ(loaded.savedUsername, name);
            EXPECT_EQ(loaded.rememberUsername, remember);
        }
    }
}

TEST(SaveSettings, AnUnconvertibleNameLeavesTheOldFileUntouched) {
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    bx::save_settings_to({L"ana", true}, path);
    try {
        bx::save_settings_to({std::wstring(1, wchar_t(0xD800)), true}, path);
        ADD_FAILURE() << "saved";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_NO_UNICODE_TRANSLATION);
        EXPECT_EQ(std::string(error.what()).rfind("WideCharToMultiByte: ", 0), 0u);
    }
    EXPECT_EQ(file_bytes(path), bx::format_settings({L"ana", true}));
    EXPECT_FALSE(fs::exists(path.native() + L".tmp"));
}

// A settings file held open by another program (without delete sharing) cannot be replaced:
// the old bytes stay, the ".tmp" goes, and the error is the move's own. (Wine, unlike Windows,
// replaces a read-only file, so the lock is what both agree on.)
TEST(SaveSettings, AFailedMoveKeepsTheOldFileAndReportsTheMove) {
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    bx::save_settings_to({L"old", true}, path);
    bx::UniqueFile holder = bx::create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            OPEN_EXISTING);
    ASSERT_TRUE(holder);
    DWORD code = 0;
    std::string what;
    try {
        bx::save_settings_to({L"new", false}, path);
    } catch (const std::system_error& error) {
        code = static_cast<DWORD>(error.code().value());
        what = error.what();
    }
    holder.reset();
    EXPECT_TRUE(code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) << code;
    EXPECT_EQ(what.rfind("MoveFileExW(settings): ", 0), 0u) << what;
    EXPECT_EQ(file_bytes(path), bx::format_settings({L"old", true}));
    EXPECT_FALSE(fs::exists(path.native() + L".tmp"));
}

TEST(SaveSettings, AnUnwritableTemporaryFileIsReported) {
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    bx::save_settings_to({L"old", true}, path);
    fs::create_directory(path.native() + L".tmp");  // a directory in the way
    try {
        bx::save_settings_to({L"new", false}, path);
        ADD_FAILURE() << "saved";
    } catch (const std::system_error& error) {
        ADD_FAILURE() << "system error " << error.what();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Could not save launcher settings");
    }
    EXPECT_EQ(file_bytes(path), bx::format_settings({L"old", true}));
}

TEST(SaveSettings, AFolderThatCannotBeMadeIsAFileSystemError) {
    ScratchFolder folder;
    write_bytes(folder / L"KadeOrvindal", "a file in the folder's place");
    EXPECT_THROW(bx::save_settings_to({}, settings_in(folder)), fs::filesystem_error);
}

TEST(LoadSettings, AMissingFileGivesTheDefaultsAndCreatesNothing) {
    ScratchFolder folder;
    const bx::LauncherSettings loaded = bx::load_settings_from(settings_in(folder));
    EXPECT_EQ(loaded.savedUsername, L"");
    EXPECT_FALSE(loaded.rememberUsername);
    EXPECT_FALSE(fs::exists(folder / L"KadeOrvindal"));
}

TEST(LoadSettings, TakesTheFilesValuesOrAllTheDefaults) {
    const struct {
        std::string content;
        std::wstring name;
        bool remember;
    } cases[] = {
        {R"({"rememberUsername": true})", L"", true},
        {R"({"savedUsername": "ana"})", L"ana", false},
        {"\xEF\xBB\xBF{\"rememberUsername\":true,\"savedUsername\":\"b\",\"x\":[1]}", L"b", true},
        {"{\"savedUsername\": \"\\u00f1\\ud83c\\udfae\", \"rememberUsername\": true}",
         L"\u00F1\U0001F3AE", true},
        // All or nothing: one bad member discards the good one.
        {R"({"savedUsername": 5, "rememberUsername": true})", L"", false},
        {R"({"savedUsername": "ana", "rememberUsername": "yes"})", L"", false},
        {"{\"savedUsername\": \"\xC0\xAF\", \"rememberUsername\": true}", L"", false},
        {R"({"savedUsername": "a", "savedUsername": "b", "rememberUsername": true})", L"",
         false},
        {R"(["ana", true])", L"", false},
        {"", L"", false},
        {"not json", L"", false},
        {R"({"savedUsername": null})", L"", false},
    };
    ScratchFolder folder;
    const fs::path path = settings_in(folder);
    for (const auto& c : cases) {
        write_bytes(path, c.content);
        const bx::LauncherSettings loaded = bx::load_settings_from(path);
        EXPECT_EQ(loaded.savedUsername, c.name) << c.content;
        EXPECT_EQ(loaded.rememberUsername, c.remember) << c.content;
    }
}

TEST(LoadSettings, AnUnreadableFileGivesTheDefaults) {
    ScratchFolder folder;
    fs::create_directories(settings_in(folder));  // a directory where the file should be
    EXPECT_FALSE(bx::load_settings_from(settings_in(folder)).rememberUsername);
}

// The wrappers use the real profile, so they run only in the build's own Wine prefix. They
// save back exactly what they loaded, so tests running beside them see the same settings.
TEST(SettingsWrappers, UseTheProfilesLocalAppData) {
    if (!bx_test::running_under_wine()) {
        GTEST_SKIP() << "would write the real user profile; runs only in the build's Wine prefix";
    }
    const fs::path path = bx::settings_file_path();
    EXPECT_EQ(path.filename(), L"launcher-settings.json");
    EXPECT_EQ(path.parent_path().filename(), L"KadeOrvindal");
    EXPECT_TRUE(path.is_absolute());
    const bx::LauncherSettings before = bx::load_settings();
    bx::save_settings(before);
    EXPECT_EQ(file_bytes(path), bx::format_settings(before));
    const bx::LauncherSettings after = bx::load_settings();
    EXPECT_EQ(after.savedUsername, before.savedUsername);
    EXPECT_EQ(after.rememberUsername, before.rememberUsername);
}

}  // namespace
