// Opening files through the one helper that knows CreateFileW's failure value. (The suite is
// not named after the call: <windows.h> makes CreateFile a macro.)
#include "launcher/platform/unique.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/platform/text.h"
#include "scratch_folder.h"
#include "test_server_client.h"

namespace {

namespace fs = std::filesystem;

using bx_test::ScratchFolder;
using bx_test::write_bytes;

TEST(OpenedFile, AFailureIsAnEmptyOwnerWithTheReasonInTheLastError) {
    ScratchFolder folder;
    const bx::UniqueFile missing =
        bx::create_file((folder / L"missing.bin").c_str(), GENERIC_READ, 0, OPEN_EXISTING);
    const DWORD code = GetLastError();
    EXPECT_FALSE(missing);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The owner holds a real handle (a second opener is refused while it lives) and closes it.
TEST(OpenedFile, TheOwnerHoldsTheFileUntilItIsReset) {
    ScratchFolder folder;
    const fs::path path = folder / L"held.bin";
    write_bytes(path, "bytes");
    bx::UniqueFile held = bx::create_file(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_TRUE(held);

    const bx::UniqueFile refused =
        bx::create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    const DWORD code = GetLastError();
    EXPECT_FALSE(refused);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    held.reset();
    EXPECT_TRUE(bx::create_file(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_TRUE(bx::create_file(folder.path().c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
}

// CreateFileW's failure cannot be told from its type, so every call goes through create_file.
// The benchmarks' bare loops call the platform directly on purpose and are not looked at.
TEST(OpenedFile, IsTheOnlyCallerOfTheCreateFileFunctions) {
    const fs::path root = fs::path(bx_test::host_path(BX_TEST_SOURCE_DIR)).parent_path();
    const fs::path helper = root / L"launcher" / L"platform" / L"unique.h";
    const std::string name = std::string("Create") + "File";  // not a call in this file
    std::vector<std::string> callers;
    for (const wchar_t* top : {L"launcher", L"window", L"tests"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            const fs::path& path = entry.path();
            const bool source = path.extension() == L".cpp" || path.extension() == L".h";
            if (!entry.is_regular_file() || !source || fs::equivalent(path, helper)) {
                continue;
            }
            std::ifstream in(path, std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
            for (std::size_t at = text.find(name); at != std::string::npos;
                 at = text.find(name, at + 1)) {
                std::size_t after = at + name.size();
                if (after < text.size() && (text[after] == 'A' || text[after] == 'W' ||
                                            text[after] == '2')) {
                    ++after;
                }
                if (after < text.size() && text[after] == '(') {
                    callers.push_back(
                        bx::wide_to_utf8(fs::relative(path, root).generic_wstring()));
                }
            }
        }
    }
    EXPECT_TRUE(callers.empty()) << "calls CreateFile itself: " << testing::PrintToString(callers);
}

}  // namespace
