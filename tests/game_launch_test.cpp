#include "launcher/game/game_launch.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_game_record.h"
#include "launcher/platform/text.h"
#include "scratch_folder.h"
#include "test_server_client.h"

namespace {

namespace fs = std::filesystem;

using bx_test::FakeGameRecord;
using bx_test::thrown_text;

// The arguments CommandLineToArgvW finds after a program name.
std::vector<std::wstring> split_arguments(const std::wstring& arguments) {
    const std::wstring command_line = L"program.exe " + arguments;
    int count = 0;
    wchar_t** split = CommandLineToArgvW(command_line.c_str(), &count);
    std::vector<std::wstring> result;
    for (int i = 1; i < count; ++i) {
        result.emplace_back(split[i]);
    }
    LocalFree(split);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Quoting

struct QuoteCase {
    const wchar_t* argument;
    const wchar_t* quoted;
};

TEST(QuoteCommandLineArgument, QuotesOnlyWhatNeedsIt) {
    const QuoteCase cases[] = {
        {L"", L"\"\""},
        {L"plain", L"plain"},
        {L"C:\\Games\\dir\\", L"C:\\Games\\dir\\"},
        {L"a\rb", L"a\rb"},
        {L"two words", L"\"two words\""},
        {L"tab\there", L"\"tab\there\""},
        {L"line\nfeed", L"\"line\nfeed\""},
        {L"vertical\vtab", L"\"vertical\vtab\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"a\\\\\\\"b", L"\"a\\\\\\\\\\\\\\\"b\""},      // 3 backslashes before a quote become 7
        {L"dir name\\\\", L"\"dir name\\\\\\\\\""},      // 2 at the end become 4
        {L"a\\b c", L"\"a\\b c\""},                      // before other characters they stay
    };
    for (const QuoteCase& c : cases) {
        SCOPED_TRACE(bx::wide_to_utf8(c.argument));
        EXPECT_EQ(bx::quote_command_line_argument(c.argument), c.quoted);
        EXPECT_EQ(split_arguments(bx::quote_command_line_argument(c.argument)),
                  std::vector<std::wstring>{c.argument});
        std::wstring into;  // the form the launch uses for arguments that hold the password
        bx::quote_command_line_argument(c.argument, into);
        EXPECT_EQ(into, c.quoted);
    }
}

TEST(QuoteCommandLineArgument, RoundTripsRandomArgumentsThroughCommandLineToArgvW) {
    std::mt19937 random(20261210);
    const std::wstring alphabet = L" \t\"\\ab";
    for (int round = 0; round < 400; ++round) {
        std::vector<std::wstring> arguments(1 + random() % 4);
        std::wstring command_line;
        for (std::wstring& argument : arguments) {
            const std::size_t length = random() % 12;
            for (std::size_t i = 0; i < length; ++i) {
                argument.push_back(alphabet[random() % alphabet.size()]);
            }
            command_line += (command_line.empty() ? L"" : L" ") +
                            bx::quote_command_line_argument(argument);
        }
        ASSERT_EQ(split_arguments(command_line), arguments) << bx::wide_to_utf8(command_line);
    }
}

// ---------------------------------------------------------------------------------------------
// Legacy password form and placeholder replacement

std::wstring encoded(std::wstring_view password) {
    std::wstring hex;
    bx::encode_legacy_password(password, hex);
    return hex;
}

TEST(EncodeLegacyPassword, WritesEachUnitAsTwoLowercaseHexDigits) {
    EXPECT_EQ(encoded(L""), L"");
    EXPECT_EQ(encoded(L"abc"), L"616263");
    EXPECT_EQ(encoded(L"\u00F1"), L"f1");
    EXPECT_EQ(encoded(std::wstring(L"\0\u00FF Z", 4)), L"00ff205a");
}

TEST(EncodeLegacyPassword, RefusesUnitsAbove255AndLeavesNoDigits) {
    for (const wchar_t* password : {L"\u0100", L"ok\u20AC", L"\xD83D\xDE00"}) {
        std::wstring hex;
        EXPECT_EQ(thrown_text([&] { bx::encode_legacy_password(password, hex); }),
                  "Password contains characters unsupported by the legacy game client");
        EXPECT_TRUE(hex.empty()) << bx::wide_to_utf8(hex);
    }
}

struct ReplaceCase {
    const wchar_t* text;
    const wchar_t* pattern;
    const wchar_t* replacement;
    const wchar_t* result;
};

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutSearchingInsertedText) {
    const ReplaceCase cases[] = {
        {L"{channel}-{channel}", L"{channel}", L"7", L"7-7"},
        {L"none here", L"{x}", L"y", L"none here"},
        {L"{x}", L"{x}", L"{x}{x}", L"{x}{x}"},
        {L"aaa", L"aa", L"b", L"ba"},
        {L"{x}", L"{x}", L"", L""},
        {L"text", L"", L"never", L"text"},  // an empty pattern changes nothing
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(bx::wide_to_utf8(c.text));
        EXPECT_EQ(bx::replace_all(c.text, c.pattern, c.replacement), c.result);
    }
}

// ---------------------------------------------------------------------------------------------
// Starting the game (the fake game client records how it was started)

class LaunchGameTest : public testing::Test {
protected:
    void SetUp() override {
        game_directory_ = folder_ / L"Game Folder \u00F1";
        fs::create_directories(game_directory_ / L"bin");
        executable_ = game_directory_ / L"bin" / L"Fake Game.exe";
        fs::copy_file(bx_test::host_path(BX_FAKE_GAME_EXE), executable_);
        output_ = folder_ / L"record.bin";
        bx_test::record_fake_game_to(output_);
        config_.configDirectory = folder_.path();
        config_.gameDirectory = L"Game Folder \u00F1";
        config_.gameExecutable = L"bin\\Fake Game.exe";
    }

    FakeGameRecord wait_for_record() const { return bx_test::wait_for_fake_game_record(output_); }

    bx_test::ScratchFolder folder_;
    fs::path game_directory_;
    fs::path executable_;
    fs::path output_;
    bx::LauncherConfig config_;
};

TEST_F(LaunchGameTest, StartsTheGameInItsDirectoryWithTheDefaultTemplate) {
    bx::launch_game(config_, L"alice", L"p\u00F1", 7);
    const FakeGameRecord record = wait_for_record();
    const std::wstring exe = executable_.lexically_normal().native();
    EXPECT_EQ(record.commandLine, L"\"" + exe + L"\" alice 70f1 7");
    EXPECT_EQ(record.argv, (std::vector<std::wstring>{exe, L"alice", L"70f1", L"7"}));
    EXPECT_EQ(fs::path(record.currentDirectory).lexically_normal(),
              game_directory_.lexically_normal());
}

TEST_F(LaunchGameTest, FillsEveryPlaceholderInOrderAndQuotesEachItem) {
    config_.launchArguments = {L"--user={username}", L"", L"{channel}-{channel}",
                               L"a b\"c\\", L"{password}", L"{username}{password}"};
    bx::launch_game(config_, L"x{channel}y", L"ab", 4294967295u);
    const FakeGameRecord record = wait_for_record();
    const std::wstring exe = executable_.lexically_normal().native();
    EXPECT_EQ(record.argv,
              (std::vector<std::wstring>{exe, L"--user=x4294967295y", L"",
                                         L"4294967295-4294967295", L"a b\"c\\", L"6162",
                                         L"x4294967295y6162"}));
}

TEST_F(LaunchGameTest, AnEmptyTemplateGivesOnlyTheExecutable) {
    config_.launchArguments.clear();
    bx::launch_game(config_, L"alice", L"pw", 1);
    const FakeGameRecord record = wait_for_record();
    const std::wstring exe = executable_.lexically_normal().native();
    EXPECT_EQ(record.commandLine, L"\"" + exe + L"\"");
    EXPECT_EQ(record.argv, std::vector<std::wstring>{exe});
}

TEST_F(LaunchGameTest, RefusesAnExecutableOutsideTheGameDirectoryEvenWhenItExists) {
    fs::copy_file(executable_, folder_ / L"outside.exe");
    config_.gameExecutable = L"bin\\..\\..\\outside.exe";
    EXPECT_EQ(thrown_text([&] { bx::launch_game(config_, L"alice", L"pw", 1); }),
              "gameExecutable escapes gameDirectory");
    EXPECT_FALSE(fs::exists(output_));
}

TEST_F(LaunchGameTest, RefusesAMissingExecutableOrADirectoryBeforeLookingAtThePassword) {
    for (const wchar_t* name : {L"bin\\missing.exe", L"bin"}) {
        config_.gameExecutable = name;
        const fs::path full = (game_directory_ / name).lexically_normal();
        EXPECT_EQ(thrown_text([&] { bx::launch_game(config_, L"alice", L"\u20AC", 1); }),
                  "Game executable was not found: " + bx::wide_to_utf8(full.native()));
    }
}

TEST_F(LaunchGameTest, RefusesAPasswordTheLegacyClientCannotTakeEvenWhenTheTemplateHasNone) {
    config_.launchArguments = {L"{username}"};
    EXPECT_EQ(thrown_text([&] { bx::launch_game(config_, L"alice", L"\u20AC", 1); }),
              "Password contains characters unsupported by the legacy game client");
}

}  // namespace
