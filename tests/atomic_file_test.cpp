#include "launcher/platform/atomic_file.h"

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

TEST(WriteFileAtomically, CreatesAndReplacesWithoutLeavingTheTemporaryFile) {
    ScratchFolder folder;
    const fs::path path = folder / L"state.json";
    const fs::path temporary = folder / L"state.json.tmp";
    EXPECT_EQ(bx::temporary_path_for(path), temporary);
    write_bytes(temporary, "stale leftover of an earlier run, longer than the new text");
    bx::write_file_atomically(path, "first", "patch ownership state");
    EXPECT_EQ(file_bytes(path), "first");
    bx::write_file_atomically(path, std::string("a\0b\r\n", 5), "patch ownership state");
    EXPECT_EQ(file_bytes(path), std::string("a\0b\r\n", 5));
    bx::write_file_atomically(path, "", "patch ownership state");
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_FALSE(fs::exists(temporary));
}

TEST(WriteFileAtomically, ATemporaryFileThatCannotBeWrittenIsASaveFailure) {
    ScratchFolder folder;
    const fs::path path = folder / L"state.json";
    write_bytes(path, "old");
    fs::create_directory(folder / L"state.json.tmp");
    try {
        bx::write_file_atomically(path, "new", "patch ownership state");
        ADD_FAILURE() << "written";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Could not save patch ownership state");
    }
    EXPECT_EQ(file_bytes(path), "old");
}

// A file that is held open without delete sharing cannot be replaced, on Windows and Wine.
TEST(WriteFileAtomically, AFailedMoveReportsTheMovesCodeAndRemovesTheTemporaryFile) {
    ScratchFolder folder;
    const fs::path path = folder / L"state.json";
    write_bytes(path, "old");
    bx::UniqueFile holder = bx::create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            OPEN_EXISTING);
    ASSERT_TRUE(holder);
    DWORD code = 0;
    std::string what;
    try {
        bx::write_file_atomically(path, "new", "patch ownership state");
    } catch (const std::system_error& error) {
        code = static_cast<DWORD>(error.code().value());
        what = error.what();
    }
    holder.reset();
    EXPECT_TRUE(code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) << code;
    EXPECT_EQ(what.rfind("MoveFileExW(patch ownership state): ", 0), 0u) << what;
    EXPECT_EQ(file_bytes(path), "old");
    EXPECT_FALSE(fs::exists(folder / L"state.json.tmp"));
}

// A file written piece by piece: pieces smaller than, as large as and larger than the writer's
// own buffer arrive whole and in order; a writer that is never committed changes nothing.
TEST(AtomicFileWriter, WritesPiecesOfAnySizeInOrderAndOnlyOnCommit) {
    ScratchFolder folder;
    const fs::path path = folder / L"state.json";
    write_bytes(path, "old");
    std::string expected;
    {
        bx::AtomicFileWriter abandoned(path, "patch ownership state", "Could not save it");
        abandoned.write("never committed");
    }
    EXPECT_EQ(file_bytes(path), "old");
    EXPECT_FALSE(fs::exists(folder / L"state.json.tmp"));

    bx::AtomicFileWriter writer(path, "patch ownership state", "Could not save it");
    for (const std::size_t size : {1u, 7000u, 32768u, 100000u, 3u, 32767u, 0u, 40000u}) {
        const std::string piece = bx_test::pattern_bytes(size, static_cast<unsigned>(size));
        writer.write(piece);
        expected += piece;
    }
    EXPECT_EQ(file_bytes(path), "old");
    writer.commit();
    EXPECT_EQ(file_bytes(path), expected);
    EXPECT_FALSE(fs::exists(folder / L"state.json.tmp"));
}

}  // namespace
