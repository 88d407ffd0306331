// The operators' guide must not drift from the code: its example must load, its key tables must
// give exactly the built-in defaults, and the example must show every documented key.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "config_compare.h"
#include "json/json.h"
#include "launcher/config/config_file.h"
#include "launcher/platform/text.h"

namespace {

const char* const kGuide = BX_TEST_SOURCE_DIR "/../docs/configuration.md";

struct DocumentedKey {
    std::string key;  // dotted: "branding.colors.accent"
    std::string type;
    std::string default_json;
};

std::string trim(std::string text) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string unquote_code(const std::string& cell) {
    const std::string text = trim(cell);
    if (text.size() < 2 || text.front() != '`' || text.back() != '`') {
        ADD_FAILURE() << "not a code cell: " << cell;
        return text;
    }
    return text.substr(1, text.size() - 2);
}

// The rows "| `key` | type | `default` | rule |" of every key table.
std::vector<DocumentedKey> documented_keys(const std::string& guide) {
    std::vector<DocumentedKey> keys;
    std::size_t start = 0;
    while (start < guide.size()) {
        std::size_t end = guide.find('\n', start);
        if (end == std::string::npos) end = guide.size();
        const std::string line = guide.substr(start, end - start);
        start = end + 1;
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        std::size_t cell = 1;
        while (cell < line.size()) {
            const std::size_t bar = line.find('|', cell);
            if (bar == std::string::npos) break;
            cells.push_back(line.substr(cell, bar - cell));
            cell = bar + 1;
        }
        if (cells.size() != 4) {
            ADD_FAILURE() << "row without four cells: " << line;
            continue;
        }
        keys.push_back({unquote_code(cells[0]), trim(cells[1]), unquote_code(cells[2])});
    }
    return keys;
}

std::string example_json(const std::string& guide) {
    const std::string open = "```json\n";
    const std::size_t begin = guide.find(open);
    if (begin == std::string::npos) return {};
    const std::size_t end = guide.find("\n```", begin + open.size());
    return guide.substr(begin + open.size(), end - begin - open.size());
}

std::string last_part(const std::string& dotted) { return dotted.substr(dotted.rfind('.') + 1); }

std::string members(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return "{" + text + "}";
}

class ConfigurationGuide : public testing::Test {
protected:
    void SetUp() override {
        guide_ = bx::read_file_bytes(kGuide);
        keys_ = documented_keys(guide_);
    }
    std::string guide_;
    std::vector<DocumentedKey> keys_;
};

TEST_F(ConfigurationGuide, DocumentsEachKeyOfTheRecordOnce) {
    std::set<std::string> seen;
    for (const DocumentedKey& k : keys_) EXPECT_TRUE(seen.insert(k.key).second) << k.key;
    // 11 root values and "branding"; 18 texts, 8 more branding values and "colors"; 11 colours.
    EXPECT_EQ(keys_.size(), 12u + 27u + 11u);
}

TEST_F(ConfigurationGuide, DocumentedDefaultsAreTheBuiltInOnes) {
    std::vector<std::string> root, branding, colors;
    for (const DocumentedKey& k : keys_) {
        if (k.type == "object") {
            EXPECT_EQ(k.default_json, "{}") << k.key;
            continue;
        }
        const std::string member = "\"" + last_part(k.key) + "\": " + k.default_json;
        if (k.key.rfind("branding.colors.", 0) == 0) {
            colors.push_back(member);
        } else if (k.key.rfind("branding.", 0) == 0) {
            branding.push_back(member);
        } else {
            root.push_back(member);
        }
    }
    branding.push_back("\"colors\": " + members(colors));
    root.push_back("\"branding\": " + members(branding));
    const std::string text = members(root);
    SCOPED_TRACE(text);
    bx::LauncherConfig expected;
    expected.configDirectory = L"C:\\Docs";
    bx_test::expect_same_config(bx::parse_launcher_config(text, L"C:\\Docs"), expected);
}

TEST_F(ConfigurationGuide, TheExampleLoadsAndShowsEveryKey) {
    const std::string example = example_json(guide_);
    ASSERT_FALSE(example.empty());
    const bx::LauncherConfig config = bx::parse_launcher_config(example, L"C:\\Ejemplo");
    EXPECT_EQ(config.serverName, L"Ejemplo Online");
    EXPECT_EQ(config.loginTimeoutSeconds, 15);
    EXPECT_EQ(config.branding.passwordLabel, L"CONTRASE\u00D1A");
    EXPECT_EQ(config.branding.fontFiles.size(), 2u);
    EXPECT_EQ(config.branding.colors.accent, 0x3FA7F5u);

    const bx::JsonValue document = bx::parse_json(example);
    for (const DocumentedKey& k : keys_) {
        const bx::JsonValue* node = &document;
        std::size_t start = 0;
        while (node != nullptr) {
            const std::size_t dot = k.key.find('.', start);
            node = node->find(k.key.substr(start, dot == std::string::npos ? dot : dot - start));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        EXPECT_NE(node, nullptr) << "the example lacks " << k.key;
    }
}

}  // namespace
