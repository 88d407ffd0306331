#include "launcher/sync/path_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Found by the file a path names, as NTFS folds letter case: ASCII and non-ASCII letters alike,
// nothing else normalised.
TEST(RelativePathIndex, FindsAPathByTheFileItNames) {
    const std::vector<std::string> paths = {
        "Data/Music.bin",
        "m\xC3\xBAsica/\xC3\xA9t\xC3\xA9.pak",  // música/été.pak
        "stra\xC3\x9F" "e.txt",                 // straße.txt
        "a.bin",
    };
    bx::RelativePathIndex index;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ASSERT_TRUE(index.insert(paths[i], i)) << paths[i];
    }
    const struct {
        std::string path;
        std::size_t position;
    } cases[] = {
        {"data/music.BIN", 0},
        {"M\xC3\x9Asica/\xC3\x89T\xC3\x89.PAK", 1},  // MÚSICA/ÉTÉ.PAK
        {"STRA\xC3\x9F" "E.TXT", 2},
        {"STRASSE.TXT", bx::RelativePathIndex::npos},
        {"A.BIN", 3},
        {"data//music.bin", bx::RelativePathIndex::npos},
        {"a.bin ", bx::RelativePathIndex::npos},
        {"a", bx::RelativePathIndex::npos},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(index.find(c.path), c.position) << c.path;
    }
    EXPECT_FALSE(index.insert("DATA/MUSIC.bin", 9));
    EXPECT_FALSE(index.insert("M\xC3\xBAsica/\xC3\x89t\xC3\xA9.pak", 9));
    EXPECT_EQ(index.find("data/music.bin"), 0u);
}

// The table grows as paths arrive and still finds every one, whatever its spelling.
TEST(RelativePathIndex, GrowsWithoutLosingAPath) {
    std::vector<std::string> paths;
    for (int i = 0; i < 5000; ++i) {
        paths.push_back("data/pack" + std::to_string(i / 1000) + "/asset_" + std::to_string(i) +
                        (i % 3 == 0 ? "_\xC3\xA9.pak" : ".pak"));
    }
    bx::RelativePathIndex index;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ASSERT_TRUE(index.insert(paths[i], i)) << paths[i];
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string spelled = paths[i];
        for (char& c : spelled) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        const std::size_t e = spelled.find("\xC3\xA9");
        if (e != std::string::npos) spelled.replace(e, 2, "\xC3\x89");  // é as É
        ASSERT_EQ(index.find(spelled), i) << spelled;
        ASSERT_FALSE(index.insert(spelled, 0)) << spelled;
    }
    EXPECT_EQ(index.find("data/pack0/asset_5000.pak"), bx::RelativePathIndex::npos);
}

}  // namespace
