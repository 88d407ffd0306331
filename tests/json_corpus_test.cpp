// Replays the fuzzing corpus through the fuzz target's own checks.

#include "fuzz/json_fuzz_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef BX_JSON_CORPUS_DIR
#define BX_JSON_CORPUS_DIR "tests/corpus/json"
#endif

namespace {

std::vector<std::filesystem::path> corpus_files() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(BX_JSON_CORPUS_DIR))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(JsonCorpus, EveryFilePassesTheFuzzChecks) {
    const std::vector<std::filesystem::path> files = corpus_files();
    ASSERT_GE(files.size(), 12u) << "corpus folder " << BX_JSON_CORPUS_DIR;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream probe(file, std::ios::binary);
        ASSERT_TRUE(probe.good());
        EXPECT_EQ(bx::fuzz::check_json_input(read_bytes(file)), "");
    }
}

}  // namespace
