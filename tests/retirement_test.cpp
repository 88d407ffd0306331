#include "launcher/sync/retirement.h"

#include "launcher/platform/text.h"
#include "launcher/sync/managed_state.h"
#include "launcher/sync/sha256.h"

#include "scratch_folder.h"
#include "state_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

namespace fs = std::filesystem;
using bx_test::file_bytes;
using bx_test::ScratchGameFolder;
using bx_test::thrown_text;
using bx_test::write_bytes;

fs::path state_file(const ScratchGameFolder& folder) {
    return folder / L".kadeorvindal-managed.json";
}

// Writes a game file and returns the record the launcher would have made for it.
bx::ManagedFileRecord installed(const ScratchGameFolder& folder, const std::string& path,
                                const std::string& content, bool removeWhenUnlisted) {
    const fs::path file = bx::resolve_managed_path(folder.path(), path);
    write_bytes(file, content);
    return {path, bx::sha256_file(file), removeWhenUnlisted};
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

TEST(RetireUnlistedFiles, WithoutStateDoesNothingAndCreatesNothing) {
    ScratchGameFolder folder;
    const bx::SyncSummary summary = bx::retire_unlisted_files(folder.path(), {"a.bin"});
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_TRUE(summary.keptFiles.empty());
    EXPECT_FALSE(fs::exists(state_file(folder)));
}

TEST(RetireUnlistedFiles, AllListedLeavesTheStateFileUntouched) {
    ScratchGameFolder folder;
    bx::save_managed_state(folder.path(), {installed(folder, "Data/A.bin", "a", true),
                                           installed(folder, "b.bin", "b", false),
                                           installed(folder, "\xC3\xA9t\xC3\xA9.pak", "e", true)});
    const std::string before = file_bytes(state_file(folder));
    const auto stamp = fs::last_write_time(state_file(folder));
    // Letter case differs, beyond A-Z too ("ÉTÉ.pak" is the same file as "été.pak").
    const bx::SyncSummary summary = bx::retire_unlisted_files(
        folder.path(), {"B.BIN", "x.bin", "data/a.bin", "\xC3\x89T\xC3\x89.pak"});
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_TRUE(summary.keptFiles.empty());
    EXPECT_EQ(file_bytes(state_file(folder)), before);
    EXPECT_EQ(fs::last_write_time(state_file(folder)), stamp);
    EXPECT_TRUE(fs::exists(folder / L"Data\\A.bin"));
}

// Every row of the decision for a file that left the manifest, in one state.
TEST(RetireUnlistedFiles, RemovesOnlyUnchangedFilesTheLauncherCreated) {
    ScratchGameFolder folder;
    bx::ManagedFileRecord upperCase = installed(folder, "upper.bin", "upper", true);
    upperCase.sha256 = upper(upperCase.sha256);
    bx::ManagedFileRecord changed = installed(folder, "data/changed.bin", "original", true);
    write_bytes(folder / L"data\\changed.bin", "originaX");
    bx::ManagedFileRecord directory = installed(folder, "dir.bin", "d", true);
    fs::remove(folder / L"dir.bin");
    fs::create_directories(folder / L"dir.bin");
    bx::ManagedFileRecord gone = installed(folder, "gone.bin", "g", true);
    fs::remove(folder / L"gone.bin");

    const bx::ManagedState state = {
        installed(folder, "listed.bin", "listed", true),
        installed(folder, "same.bin", "same", true),
        upperCase,
        changed,
        installed(folder, "before.bin", "before", false),
        directory,
        gone,
        installed(folder, "locked.bin", "locked", true),
    };
    bx::save_managed_state(folder.path(), state);

    bx::SyncSummary summary;
    {
        bx_test::FileLock lock(folder / L"locked.bin");
        summary = bx::retire_unlisted_files(folder.path(), {"LISTED.bin", "other.bin"});
    }
    EXPECT_EQ(summary.removedCount, 2);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(summary.keptFiles, (std::vector<std::wstring>{L"data/changed.bin", L"before.bin",
                                                             L"dir.bin", L"locked.bin"}));
    EXPECT_FALSE(fs::exists(folder / L"same.bin"));
    EXPECT_FALSE(fs::exists(folder / L"upper.bin"));
    EXPECT_EQ(file_bytes(folder / L"data\\changed.bin"), "originaX");
    EXPECT_EQ(file_bytes(folder / L"before.bin"), "before");
    EXPECT_TRUE(fs::is_directory(folder / L"dir.bin"));
    EXPECT_EQ(file_bytes(folder / L"locked.bin"), "locked");
    EXPECT_TRUE(fs::exists(folder / L"listed.bin"));

    const bx::ManagedState after = bx_test::load_state_records(folder.path());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].path, "listed.bin");

    // Kept files are no longer the launcher's: a second run neither removes nor reports them.
    const bx::SyncSummary again = bx::retire_unlisted_files(folder.path(), {});
    EXPECT_EQ(again.removedCount, 1);
    EXPECT_TRUE(again.keptFiles.empty());
    EXPECT_EQ(file_bytes(state_file(folder)), "{\n  \"schema\": 1,\n  \"files\": [  ]\n}\n");
}

TEST(RetireUnlistedFiles, AFailedRemovalStopsWithoutSavingTheState) {
    ScratchGameFolder folder;
    bx::save_managed_state(folder.path(), {installed(folder, "a.bin", "a", true),
                                           installed(folder, "ro.bin", "r", true),
                                           installed(folder, "z.bin", "z", true)});
    const std::string before = file_bytes(state_file(folder));
    SetFileAttributesW((folder / L"ro.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string message = thrown_text([&] { bx::retire_unlisted_files(folder.path(), {}); });
    EXPECT_EQ(message.rfind("Could not remove retired managed patch ro.bin: ", 0), 0u) << message;
    EXPECT_FALSE(fs::exists(folder / L"a.bin"));
    EXPECT_TRUE(fs::exists(folder / L"ro.bin"));
    EXPECT_TRUE(fs::exists(folder / L"z.bin"));
    EXPECT_EQ(file_bytes(state_file(folder)), before);

    // Once the file can go, the next run finishes the job; the file removed earlier is
    // simply dropped.
    SetFileAttributesW((folder / L"ro.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
    const bx::SyncSummary summary = bx::retire_unlisted_files(folder.path(), {});
    EXPECT_EQ(summary.removedCount, 2);
    EXPECT_TRUE(bx_test::load_state_records(folder.path()).empty());
}

// The removals are done before the state is saved: when the save fails, they stand, and the
// old state stays as it was (its records of removed files are dropped on the next run).
TEST(RetireUnlistedFiles, AFailedFinalSaveKeepsTheRemovalsAndTheOldState) {
    ScratchGameFolder folder;
    bx::save_managed_state(folder.path(), {installed(folder, "a.bin", "a", true),
                                           installed(folder, "kept.bin", "k", true)});
    const std::string before = file_bytes(state_file(folder));
    std::string failure;
    {
        bx_test::FileLock lock(state_file(folder), FILE_SHARE_READ);
        failure = thrown_text([&] { bx::retire_unlisted_files(folder.path(), {"kept.bin"}); });
    }
    EXPECT_EQ(failure.rfind("MoveFileExW(patch ownership state)", 0), 0u) << failure;
    EXPECT_FALSE(fs::exists(folder / L"a.bin"));
    EXPECT_TRUE(fs::exists(folder / L"kept.bin"));
    EXPECT_EQ(file_bytes(state_file(folder)), before);
    EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));

    const bx::SyncSummary summary = bx::retire_unlisted_files(folder.path(), {"kept.bin"});
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_TRUE(summary.keptFiles.empty());
    ASSERT_EQ(bx_test::load_state_records(folder.path()).size(), 1u);
    EXPECT_EQ(bx_test::load_state_records(folder.path())[0].path, "kept.bin");
}

TEST(RetireUnlistedFiles, ABrokenStateFileStopsBeforeAnythingIsRemoved) {
    ScratchGameFolder folder;
    const bx::ManagedFileRecord record = installed(folder, "a.bin", "a", true);
    write_bytes(state_file(folder), "{\"schema\": 1, \"files\": [{\"path\": \"a.bin\", \"sha256\": \"" +
                                        record.sha256 + "\", \"removeWhenUnlisted\": true}, 7]}");
    EXPECT_EQ(thrown_text([&] { bx::retire_unlisted_files(folder.path(), {}); }),
              bx::path_utf8(state_file(folder)) + ": Patch ownership state entry is incomplete");
    EXPECT_TRUE(fs::exists(folder / L"a.bin"));
}

}  // namespace
