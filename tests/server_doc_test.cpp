// The operators' page on the server side (docs/server.md) must not drift from the code: its
// worked login example is replayed against the loopback server and the fake game client, down
// to the game's whole command line, and every row of its tables of account-server answers gives
// the player the message the row names.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fake_game_record.h"
#include "json/json.h"
#include "launcher/config/config_file.h"
#include "launcher/game/game_launch.h"
#include "launcher/net/login.h"
#include "launcher/platform/text.h"
#include "launcher/platform/url.h"
#include "scratch_folder.h"
#include "test_server_client.h"

namespace {

namespace fs = std::filesystem;

const char* const kPage = BX_TEST_SOURCE_DIR "/../docs/server.md";

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The lines from the heading `heading` to the next heading of its level or above.
std::vector<std::string> section(const std::string& page, std::string_view heading) {
    const std::size_t level = heading.find(' ');
    std::vector<std::string> found;
    bool inside = false;
    bool fenced = false;
    for (const std::string& line : lines_of(page)) {
        fenced ^= line.rfind("```", 0) == 0;
        const std::size_t hashes = line.find_first_not_of('#');
        const bool isHeading = !fenced && hashes > 0 && hashes <= level && hashes != std::string::npos &&
                               line[hashes] == ' ';
        if (isHeading && inside) break;
        if (line == heading) inside = true;
        if (inside) found.push_back(line);
    }
    EXPECT_FALSE(found.empty()) << "no section " << heading;
    return found;
}

// The fenced blocks of a section, each as its text without the closing fence's line break.
std::vector<std::string> fenced_blocks(const std::vector<std::string>& lines) {
    std::vector<std::string> blocks;
    std::string* open = nullptr;
    for (const std::string& line : lines) {
        if (line.rfind("```", 0) == 0) {
            if (open == nullptr) {
                open = &blocks.emplace_back();
            } else {
                if (!open->empty()) open->pop_back();
                open = nullptr;
            }
        } else if (open != nullptr) {
            *open += line + "\n";
        }
    }
    return blocks;
}

// One HTTP message as the page writes it: start line, headers, a blank line, the body.
struct HttpMessage {
    std::string startLine;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string word(std::size_t index) const {
        std::size_t start = 0;
        for (std::size_t i = 0; i < index; ++i) start = startLine.find(' ', start) + 1;
        return startLine.substr(start, startLine.find(' ', start) - start);
    }
    std::string header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (key == name) return value;
        }
        return {};
    }
};

HttpMessage http_message(const std::string& block) {
    HttpMessage message;
    const std::size_t blank = block.find("\n\n");
    const std::vector<std::string> head = lines_of(block.substr(0, blank));
    message.startLine = head.at(0);
    for (std::size_t i = 1; i < head.size(); ++i) {
        const std::size_t colon = head[i].find(": ");
        message.headers.emplace_back(head[i].substr(0, colon), head[i].substr(colon + 2));
    }
    message.body = blank == std::string::npos ? "" : block.substr(blank + 2);
    return message;
}

// The first `code` span of a table cell.
std::string first_code(const std::string& cell) {
    const std::size_t open = cell.find('`');
    return open == std::string::npos ? "" : cell.substr(open + 1, cell.find('`', open + 1) - open - 1);
}

// A row "| `status` | body or any | "the player's message" |" of an answer table.
struct AnswerRow {
    unsigned status;
    std::string body;
    std::string message;
};

std::vector<AnswerRow> answer_rows(const std::vector<std::string>& lines) {
    std::vector<AnswerRow> rows;
    for (const std::string& line : lines) {
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        for (std::size_t at = 1, bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1) {
            cells.push_back(line.substr(at, bar - at));
        }
        if (cells.size() != 3) {
            ADD_FAILURE() << "row without three cells: " << line;
            continue;
        }
        const std::size_t quote = cells[2].find('"');
        const std::size_t last = cells[2].rfind('"');
        if (quote == std::string::npos || last == quote) {
            ADD_FAILURE() << "row without a quoted message: " << line;
            continue;
        }
        rows.push_back({static_cast<unsigned>(std::stoul(first_code(cells[0]))),
                        cells[1].find("any") == 1 ? "{}" : first_code(cells[1]),
                        cells[2].substr(quote + 1, last - quote - 1)});
    }
    EXPECT_FALSE(rows.empty());
    return rows;
}

std::wstring member_text(const bx::JsonValue& object, const char* key) {
    return bx::utf8_to_wide(object.find(key)->as_string());
}

// The worked example: the configuration, the four messages of the exchange and the game's
// command line, and an account server on the loopback server that answers as the page shows.
class ServerPage : public testing::Test {
protected:
    void SetUp() override {
        page_ = bx::read_file_bytes(kPage);
        const std::vector<std::string> blocks = fenced_blocks(section(page_, "## A worked login example"));
        ASSERT_EQ(blocks.size(), 6u);
        config_ = bx::parse_launcher_config(blocks[0], folder_.path());
        for (std::size_t i = 0; i < 4; ++i) exchange_.push_back(http_message(blocks[1 + i]));
        commandLine_ = blocks[5];
        documentedLoginUrl_ = config_.loginUrl;
        config_.loginUrl = server_.url("/files" + exchange_[0].word(1));
        config_.loginTimeoutSeconds = 5;
    }

    void answer(const std::string& name, unsigned status, const std::string& body,
                const std::string& contentType = "application/json") const {
        server_.store_file(name, body,
                           "status=" + std::to_string(status) + "&content_type=" + contentType);
    }
    void answer_as_documented(std::size_t message, const std::string& name) const {
        const HttpMessage& reply = exchange_[message];
        answer(name, static_cast<unsigned>(std::stoul(reply.word(1))), reply.body,
               reply.header("Content-Type"));
    }
    std::string session_name() const { return exchange_[0].word(1).substr(1); }
    std::string start_name() const { return exchange_[2].word(1).substr(1); }

    // The user name and password the player typed, as the session request carries them.
    std::pair<std::wstring, std::wstring> credentials() const {
        const bx::JsonValue body = bx::parse_json(exchange_[0].body);
        return {member_text(body, "username"), member_text(body, "password")};
    }

    std::string login_failure() const {
        const std::pair<std::wstring, std::wstring> typed = credentials();
        return bx_test::thrown_text([&] { bx::login(config_, typed.first, typed.second); });
    }

    bx_test::ScratchFolder folder_;
    bx_test::ServerTag server_;
    std::string page_;
    bx::LauncherConfig config_;
    std::wstring documentedLoginUrl_;
    std::vector<HttpMessage> exchange_;
    std::string commandLine_;
};

TEST_F(ServerPage, TheWorkedExampleTakesThePlayerFromLoginToTheGameStart) {
    const bx::UrlParts documented = bx::crack_url(documentedLoginUrl_, "loginUrl");
    EXPECT_EQ(exchange_[0].startLine, "POST " + bx::wide_to_utf8(documented.pathAndQuery) + " HTTP/1.1");
    EXPECT_EQ(exchange_[2].startLine, "POST " + exchange_[0].word(1) + "/start HTTP/1.1");
    for (const HttpMessage& request : {exchange_[0], exchange_[2]}) {
        EXPECT_EQ(request.header("Host"), bx::wide_to_utf8(documented.host));
    }
    answer_as_documented(1, session_name());
    answer_as_documented(3, start_name());

    const auto [username, password] = credentials();
    const std::uint32_t channel = bx::login(config_, username, password);
    EXPECT_EQ(channel, bx::parse_json(exchange_[3].body).find("channelId")->as_integer());

    // What the launcher sent is what the page shows, byte for byte; the host is the loopback
    // server's here.
    const std::vector<bx_test::JournalEntry> journal = server_.journal();
    ASSERT_EQ(journal.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const HttpMessage& request = exchange_[2 * i];
        SCOPED_TRACE(request.startLine);
        EXPECT_EQ(journal[i].method, request.word(0));
        EXPECT_EQ(journal[i].path, "/files" + request.word(1));
        EXPECT_EQ(journal[i].body, request.body);
        for (const auto& [name, value] : request.headers) {
            if (name == "Host") continue;
            ASSERT_NE(journal[i].header(name), nullptr) << name;
            EXPECT_EQ(*journal[i].header(name), value) << name;
        }
    }

    // The game, installed where the example's configuration puts it, but in a scratch folder.
    // The page's line names the executable by the example's path, written as the page says an
    // argument is written: in quotes only when it holds a blank. So the line the game receives
    // is the page's, with the scratch path in place of the example's.
    const std::wstring documentedLine = bx::utf8_to_wide(commandLine_);
    const std::wstring documentedExecutable =
        (fs::path(config_.gameDirectory) / config_.gameExecutable).lexically_normal().native();
    std::wstring expectedLine = documentedLine;
    const std::size_t at = expectedLine.find(documentedExecutable);
    ASSERT_NE(at, std::wstring::npos)
        << "the page's command line does not name " << bx::wide_to_utf8(documentedExecutable);
    config_.gameDirectory = folder_ / L"game";
    const fs::path executable = (fs::path(config_.gameDirectory) / config_.gameExecutable).lexically_normal();
    fs::create_directories(executable.parent_path());
    fs::copy_file(bx_test::host_path(BX_FAKE_GAME_EXE), executable);
    std::wstring executableText = executable.native();
    if (executableText.find_first_of(L" \t") != std::wstring::npos) {
        executableText = L"\"" + executableText + L"\"";
    }
    const fs::path record = folder_ / L"record.bin";
    bx_test::record_fake_game_to(record);
    bx::launch_game(config_, username, password, channel);
    const bx_test::FakeGameRecord started = bx_test::wait_for_fake_game_record(record);
    expectedLine.replace(at, documentedExecutable.size(), executableText);
    EXPECT_EQ(started.commandLine, expectedLine);
    ASSERT_FALSE(started.argv.empty());
    EXPECT_EQ(started.argv[0], executable.native());
    EXPECT_EQ(fs::path(started.currentDirectory), fs::path(config_.gameDirectory));
}

// Each table answers one of the two requests; the other is answered as in the worked example.
TEST_F(ServerPage, EveryAnswerOfTheTablesShowsThePlayerTheDocumentedMessage) {
    const struct {
        const char* heading;
        std::string answered;
        std::size_t otherAnswer;
        std::string other;
    } tables[] = {
        {"### The session request", session_name(), 3, start_name()},
        {"### The start request", start_name(), 1, session_name()},
    };
    for (const auto& table : tables) {
        SCOPED_TRACE(table.heading);
        answer_as_documented(table.otherAnswer, table.other);
        for (const AnswerRow& row : answer_rows(section(page_, table.heading))) {
            SCOPED_TRACE(std::to_string(row.status) + " " + row.body);
            answer(table.answered, row.status, row.body);
            EXPECT_EQ(login_failure(), row.message);
        }
    }
}

}  // namespace
