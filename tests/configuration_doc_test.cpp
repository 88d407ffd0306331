// The operators' guide must not drift from the code: its example must load, its key tables must
// give exactly the built-in defaults, the example must show every documented key, and every file
// of its table of start-up failures must fail (or load) as the table says.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "config_compare.h"
#include "json/json.h"
#include "launcher/config/config_file.h"
#include "launcher/config/config_location.h"
#include "launcher/platform/text.h"
#include "scratch_folder.h"

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

// The lines from the heading line `heading` to the next heading of the same level or above.
std::vector<std::string> section(const std::string& guide, const std::string& heading) {
    const std::size_t level = heading.find(' ');
    std::vector<std::string> lines;
    bool inside = false;
    std::size_t start = 0;
    while (start < guide.size()) {
        std::size_t end = guide.find('\n', start);
        if (end == std::string::npos) end = guide.size();
        const std::string line = guide.substr(start, end - start);
        start = end + 1;
        const std::size_t hashes = line.find_first_not_of('#');
        if (inside && hashes > 0 && hashes <= level && hashes != std::string::npos &&
            line[hashes] == ' ') {
            break;
        }
        if (line == heading) inside = true;
        if (inside) lines.push_back(line);
    }
    EXPECT_FALSE(lines.empty()) << "no section " << heading;
    return lines;
}

// The cells of a table row "| a | b | c |", or none for a line that is no row starting with code.
std::vector<std::string> code_row_cells(const std::string& line) {
    std::vector<std::string> cells;
    if (line.rfind("| `", 0) != 0) return cells;
    for (std::size_t at = 1, bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1) {
        cells.push_back(line.substr(at, bar - at));
    }
    return cells;
}

// The rows "| `key` | type | `default` | rule |" of every key table.
std::vector<DocumentedKey> documented_keys(const std::string& guide) {
    std::vector<DocumentedKey> keys;
    for (const std::string& line : section(guide, "## Keys")) {
        const std::vector<std::string> cells = code_row_cells(line);
        if (cells.empty()) continue;
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

// A row of the start-up failures: a whole file, how it is saved, and what the box says.
struct FailureRow {
    std::string line;
    std::string json;      // the code span of the first cell
    std::string encoding;  // the first cell's words after it: "", " saved as UTF-16", ...
    std::string message;   // the quoted text of the second cell; empty when the file loads
    bool messageIsPrefix = false;  // the system's own text follows the quoted part
    std::string messageCell;
};

std::vector<FailureRow> failure_rows(const std::string& guide) {
    std::vector<FailureRow> rows;
    for (const std::string& line : section(guide, "## When the launcher does not start")) {
        const std::vector<std::string> cells = code_row_cells(line);
        if (cells.empty()) continue;
        if (cells.size() != 3) {
            ADD_FAILURE() << "row without three cells: " << line;
            continue;
        }
        FailureRow row;
        row.line = line;
        const std::string first = trim(cells[0]);
        const std::size_t close = first.find('`', 1);
        row.json = first.substr(1, close - 1);
        row.encoding = first.substr(close + 1);
        row.messageCell = trim(cells[1]);
        const std::size_t open = row.messageCell.find('"');
        if (open != std::string::npos) {
            const std::size_t end = row.messageCell.find('"', open + 1);
            row.message = row.messageCell.substr(open + 1, end - open - 1);
            row.messageIsPrefix = row.messageCell.compare(end + 1, 13, " followed by ") == 0;
        }
        rows.push_back(row);
    }
    return rows;
}

// The bytes of the row's file as an editor saves it.
std::string saved_bytes(const FailureRow& row) {
    if (row.encoding.empty()) return row.json;
    if (row.encoding == " saved with a byte-order mark") return "\xEF\xBB\xBF" + row.json;
    const std::wstring text = bx::utf8_to_wide(row.json);
    std::string bytes;
    if (row.encoding == " saved as UTF-16") {
        bytes = "\xFF\xFE";  // as Notepad saves "Unicode": little-endian, with its mark
        for (const wchar_t unit : text) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
    } else if (row.encoding == " saved as Latin-1") {
        for (const wchar_t unit : text) {
            EXPECT_LT(static_cast<unsigned>(unit), 256u) << row.line;
            bytes.push_back(static_cast<char>(unit));
        }
    } else {
        ADD_FAILURE() << "unknown way of saving: " << row.encoding;
    }
    return bytes;
}

// Each file of the table is written as its row says and loaded as the launcher loads its
// configuration; it fails with the row's message, or loads as the built-in record.
TEST_F(ConfigurationGuide, EveryStartUpFailureOfTheTableIsTheLaunchersOwn) {
    const std::vector<FailureRow> rows = failure_rows(guide_);
    EXPECT_GE(rows.size(), 15u);
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.line);
        bx_test::ScratchFolder folder;
        const std::filesystem::path file = folder / L"Launcher.json";
        bx_test::write_bytes(file, saved_bytes(row));
        try {
            const bx::LauncherConfig loaded =
                bx::load_launcher_config_for(L"", folder / L"Launcher.exe");
            EXPECT_TRUE(row.message.empty()) << "the file loads";
            bx::LauncherConfig defaults;
            defaults.configDirectory = folder.path();
            bx_test::expect_same_config(loaded, defaults);
        } catch (const std::system_error& error) {
            ASSERT_TRUE(row.messageIsPrefix) << error.what();
            EXPECT_EQ(std::string(error.what()).rfind(row.message, 0), 0u) << error.what();
            EXPECT_NE(row.messageCell.find("error " + std::to_string(error.code().value()) + ","),
                      std::string::npos)
                << error.what();
        } catch (const std::exception& error) {
            EXPECT_FALSE(row.messageIsPrefix);
            EXPECT_EQ(error.what(), row.message);
        }
    }
}

}  // namespace
