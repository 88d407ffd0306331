#include "launcher/sync/sha256.h"

#include "launcher/platform/errors.h"
#include "launcher/platform/text.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using bx_test::ScratchFolder;
using bx_test::pattern_bytes;
using bx_test::thrown_text;
using bx_test::write_bytes;

struct DigestCase {
    const char* name;
    std::string content;
    const char* digest;
};

// Reference digests computed independently; the sizes sit at the read-block boundaries. The
// same bytes in memory give the same digest.
TEST(Sha256File, FilesAndBytesMatchReferenceDigestsAroundTheReadBlock) {
    const DigestCase cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"one block", pattern_bytes(1048576),
         "1ac437f476c488acba4000af7ae89ef53f7ffbeef2e937850985f5ceb8b5ae6f"},
        {"one block and a byte", pattern_bytes(1048577),
         "e42cda7f3d5f4472e6a826c1ae97c1d3933ba23ef486e8df5814889b7af6f7c4"},
        {"two blocks", pattern_bytes(2097152),
         "7bccad89e708a734fd12accb04ed24d8998c423f484ea7f209e9ed4c1617ca95"},
    };
    ScratchFolder folder;
    for (const DigestCase& c : cases) {
        const auto file = folder / (std::string(c.name) + ".bin");
        write_bytes(file, c.content);
        EXPECT_EQ(bx::sha256_file(file), c.digest) << c.name;
        EXPECT_EQ(bx::sha256_bytes(c.content), c.digest) << c.name;
    }
}

TEST(Sha256File, DependsOnContentOnlyAndReusesTheCallersBuffer) {
    ScratchFolder folder;
    write_bytes(folder / "a.bin", "same bytes");
    write_bytes(folder / "deep" / "B.PAK", "same bytes");
    std::vector<char> buffer;
    const std::string first = bx::sha256_file(folder / "a.bin", buffer);
    EXPECT_EQ(buffer.size(), bx::kSha256ReadBlock);
    EXPECT_EQ(bx::sha256_file(folder / "deep" / "B.PAK", buffer), first);
    EXPECT_EQ(first.size(), 64u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(Sha256File, UnopenableFilesFailWithThePath) {
    ScratchFolder folder;
    write_bytes(folder / "locked.bin", "x");
    std::filesystem::create_directories(folder / "dir");
    bx_test::FileLock lock(folder / "locked.bin");
    for (const char* name : {"missing.bin", "locked.bin", "dir"}) {
        const auto path = folder / name;
        EXPECT_EQ(thrown_text([&] { bx::sha256_file(path); }),
                  "Could not open " + bx::wide_to_utf8(path.native()))
            << name;
    }
}

TEST(ThrowNtstatus, PassesSuccessAndInformationAndReportsTheRest) {
    EXPECT_NO_THROW(bx::throw_ntstatus(0, "Call"));
    EXPECT_NO_THROW(bx::throw_ntstatus(0x40000000, "Call"));
    EXPECT_NO_THROW(bx::throw_ntstatus(0x7FFFFFFF, "Call"));
    const struct {
        std::uint32_t status;
        const char* text;
    } failures[] = {
        {0xC0000001u, "BCryptHashData failed with NTSTATUS 0xc0000001"},
        {0x80000005u, "BCryptHashData failed with NTSTATUS 0x80000005"},
        {0xC000000Du, "BCryptHashData failed with NTSTATUS 0xc000000d"},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(thrown_text([&] {
                      bx::throw_ntstatus(static_cast<std::int32_t>(f.status), "BCryptHashData");
                  }),
                  f.text);
    }
    EXPECT_THROW(bx::throw_ntstatus(-1, "X"), std::runtime_error);
}

}  // namespace
