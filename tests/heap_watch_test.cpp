// What the heap sees of the login's secrets and of the status probe's body. This executable
// replaces the global allocation functions, so it stands alone: every block carries its size in
// a header, which lets a release count the bytes it gives back and look at what they still hold.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"
#include "launcher/net/http.h"
#include "launcher/net/login.h"
#include "launcher/platform/text.h"
#include "test_server_client.h"

namespace {

constexpr std::size_t kHeader = 16;  // keeps the default alignment of operator new

std::atomic<std::int64_t> g_live_bytes{0};
std::atomic<std::int64_t> g_peak_bytes{0};

// While set, every released block is searched for these texts; the test keeps them alive.
std::atomic<const std::vector<std::string>*> g_watched{nullptr};
std::atomic<bool> g_watched_text_released{false};

// Any run of this many bytes of a watched text counts as a copy of it.
constexpr std::size_t kRun = 8;

bool holds_part_of(std::string_view block, std::string_view text) noexcept {
    const std::size_t run = text.size() < kRun ? text.size() : kRun;
    for (std::size_t start = 0; start + run <= text.size(); ++start) {
        if (block.find(text.substr(start, run)) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

void note_release(const char* data, std::size_t size) noexcept {
    const std::vector<std::string>* watched = g_watched.load();
    if (watched == nullptr) {
        return;
    }
    for (const std::string& text : *watched) {
        if (holds_part_of(std::string_view(data, size), text)) {
            g_watched_text_released = true;
        }
    }
}

}  // namespace

// Zero-filled, so that what a block holds when it is released was written during its own life,
// never left over from an earlier block at the same address.
void* operator new(std::size_t size) {
    auto* block = static_cast<char*>(std::calloc(1, size + kHeader));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::int64_t live = g_live_bytes += static_cast<std::int64_t>(size);
    std::int64_t peak = g_peak_bytes.load();
    while (live > peak && !g_peak_bytes.compare_exchange_weak(peak, live)) {
    }
    return block + kHeader;
}

void operator delete(void* pointer) noexcept {
    if (pointer == nullptr) {
        return;
    }
    char* block = static_cast<char*>(pointer) - kHeader;
    const std::size_t size = *reinterpret_cast<std::size_t*>(block);
    note_release(static_cast<const char*>(pointer), size);
    g_live_bytes -= static_cast<std::int64_t>(size);
    std::free(block);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* pointer, std::size_t) noexcept { ::operator delete(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { ::operator delete(pointer); }
void operator delete[](void* pointer) noexcept { ::operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { ::operator delete(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    ::operator delete(pointer);
}

namespace {

using bx_test::ServerTag;

// Searches every block released during its lifetime for the texts.
class WatchReleases {
public:
    explicit WatchReleases(const std::vector<std::string>& texts) {
        g_watched_text_released = false;
        g_watched = &texts;
    }
    ~WatchReleases() { g_watched = nullptr; }
    WatchReleases(const WatchReleases&) = delete;
    WatchReleases& operator=(const WatchReleases&) = delete;

    bool released_a_copy() const { return g_watched_text_released; }
};

// How far the live heap bytes rose above their level at construction.
class PeakGrowth {
public:
    PeakGrowth() : start_(g_live_bytes.load()) { g_peak_bytes = start_; }
    std::int64_t bytes() const { return g_peak_bytes.load() - start_; }

private:
    std::int64_t start_;
};

// The watched forms of a password: as the login converts it, and as it stands in the body.
std::vector<std::string> forms_of(const std::string& utf8) {
    return {utf8, bx::json_escape(utf8)};
}

TEST(HeapWatch, SeesAReleasedBlockThatHoldsAWatchedText) {
    const std::string password = "Qz7\"k\\v#R\"m2\\^L";
    const std::vector<std::string> forms = forms_of(password);
    WatchReleases watch(forms);
    bx::json_escape(password);  // escaped into a heap block and dropped unwiped
    EXPECT_TRUE(watch.released_a_copy());
}

TEST(HeapWatch, TheLoginReleasesNoBlockHoldingThePassword) {
    ServerTag server;
    server.store_file("session", "{\"token\":\"" + std::string(40, 'T') + "\"}",
                      "status=201&content_type=application/json");
    server.store_file("session/start", "{\"channelId\":7}",
                      "status=200&content_type=application/json");
    bx::LauncherConfig config;
    config.loginUrl = server.url("/files/session");
    config.loginTimeoutSeconds = 5;

    const std::string passwords[] = {
        // 64 bytes that escaping takes to 96: a body that grew would give back a partial copy.
        "\"\\Qz\"\\7k\"\\Wm\"\\4p\"\\Rx\"\\9v\"\\Ls\"\\2d\"\\Hb\"\\6t\"\\Nc\"\\3f\"\\Jy\"\\8g"
        "\"\\Ke\"\\5w",
        // 15 bytes, kept inside the string object as UTF-8, but 45 once escaped: a control
        // character takes six.
        "\x01\"Q\\\x02z\"\x03" "7\\k\x04\"\x05W",
        // Nothing to escape: only the body holds it.
        "Qz7k\xC3\xB1Wm4p\xC3\xA9Rx",
    };
    for (const std::string& password : passwords) {
        SCOPED_TRACE(testing::PrintToString(password));
        const std::wstring wide = bx::utf8_to_wide(password);
        const std::vector<std::string> forms = forms_of(password);
        WatchReleases watch(forms);
        EXPECT_EQ(bx::login(config, L"alice", wide), 7u);
        EXPECT_FALSE(watch.released_a_copy());
    }
    // The bodies the server received hold the watched forms, so the watch looked for the right
    // texts.
    const std::vector<bx_test::JournalEntry> journal = server.journal();
    ASSERT_EQ(journal.size(), 2 * std::size(passwords));
    for (std::size_t i = 0; i < std::size(passwords); ++i) {
        EXPECT_EQ(journal[2 * i].body, "{\"username\":\"alice\",\"password\":\"" +
                                           forms_of(passwords[i])[1] + "\"}");
    }
}

TEST(HeapWatch, TheStatusProbeReadsALargeBodyWithoutHoldingIt) {
    ServerTag server;
    constexpr std::int64_t kBodyBytes = 16 * 1024 * 1024;
    for (const char* framing : {"", "?length=none", "?chunked=1"}) {
        SCOPED_TRACE(framing);
        bx::LauncherConfig config;
        config.statusUrl = server.url("/bytes/" + std::to_string(kBodyBytes) + framing);
        const PeakGrowth growth;
        EXPECT_TRUE(bx::check_server_status(config));
        EXPECT_LT(growth.bytes(), kBodyBytes / 16);
    }
}

}  // namespace
