#include "launcher/sync.h"

#include "launcher/managed_state.h"
#include "launcher/sha256.h"
#include "launcher/text.h"

#include "game_folder.h"
#include "test_server_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace {

namespace fs = std::filesystem;
using sync_test::file_bytes;
using sync_test::GameFolder;
using sync_test::pattern_bytes;
using sync_test::thrown_text;
using sync_test::write_bytes;

std::string digest_of(const std::string& content) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const fs::path scratch = fs::path(temp) / (L"bx-digest-" + std::to_wstring(GetCurrentProcessId()) +
                                               L"-" + std::to_wstring(counter++) + L".bin");
    write_bytes(scratch, content);
    const std::string digest = bx::sha256_file(scratch);
    fs::remove(scratch);
    return digest;
}

// One manifest entry: what the file must hold, and what the server actually sends for it.
struct Served {
    std::string path;
    std::string content;
    std::string query = {};                  // delivery options of the file's answer
    std::optional<std::string> body = {};    // sent instead of content
    std::optional<std::string> sha256 = {};  // listed instead of the content's digest
    bool stored = true;                      // false: listed only, the server has no such file
};

// The files of one test on the loopback server, under a tag of their own.
class PatchServer {
public:
    // A tag can come back in a later run (process ids repeat): start from an empty journal.
    PatchServer() { bxtest::raw_request(L"GET", "/t/" + tag_.tag() + "/_journal/clear"); }

    void publish(const std::vector<Served>& files) const {
        std::string manifest = "{\"schema\": 1, \"files\": [";
        const char* separator = "";
        for (const Served& file : files) {
            if (file.stored) {
                tag_.store_file(file.path, file.body.value_or(file.content), file.query);
            }
            manifest += separator;
            manifest += "{\"path\": \"" + file.path + "\", \"url\": \"" + file.path +
                        "\", \"size\": " + std::to_string(file.content.size()) +
                        ", \"sha256\": \"" + file.sha256.value_or(digest_of(file.content)) + "\"}";
            separator = ", ";
        }
        publish_manifest(manifest + "]}");
    }

    void publish_manifest(const std::string& text) const { tag_.store_file("manifest.json", text); }

    bx::LauncherConfig config(const GameFolder& folder) const {
        bx::LauncherConfig config;
        config.patchManifestUrl = tag_.url("/files/manifest.json");
        config.configDirectory = folder.root();
        config.gameDirectory = L"game";
        return config;
    }

    std::size_t requests_for(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& entry : tag_.journal()) {
            count += entry.path == "/files/" + path ? 1 : 0;
        }
        return count;
    }

private:
    bxtest::ServerTag tag_;
};

std::vector<std::string> state_paths(const GameFolder& folder) {
    std::vector<std::string> paths;
    for (const bx::ManagedFileRecord& record : bx::load_managed_state(folder.path())) {
        paths.push_back(record.path);
    }
    return paths;
}

std::vector<fs::path> leftovers(const fs::path& directory) {
    std::vector<fs::path> found;
    for (const auto& item : fs::recursive_directory_iterator(directory)) {
        const std::wstring name = item.path().filename().native();
        if (name.size() > 9 && name.compare(name.size() - 9, 9, L".download") == 0) {
            found.push_back(item.path());
        }
    }
    return found;
}

std::vector<bx::PatchProgress> run(const bx::LauncherConfig& config, bx::SyncSummary* summary = nullptr) {
    std::vector<bx::PatchProgress> reports;
    const bx::SyncSummary result =
        bx::synchronize_client_files(config, [&](const bx::PatchProgress& p) { reports.push_back(p); });
    if (summary != nullptr) {
        *summary = result;
    }
    return reports;
}

void expect_report(const bx::PatchProgress& p, const std::wstring& message, int current, int count,
                   std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(p.message, message);
    EXPECT_EQ(p.currentFile, current) << bx::wide_to_utf8(message);
    EXPECT_EQ(p.fileCount, count) << bx::wide_to_utf8(message);
    EXPECT_EQ(p.bytesDone, done) << bx::wide_to_utf8(message);
    EXPECT_EQ(p.bytesTotal, total) << bx::wide_to_utf8(message);
}

TEST(SynchronizeClientFiles, WithoutManifestUrlDoesNothing) {
    GameFolder folder;
    bx::LauncherConfig config;
    config.patchManifestUrl.clear();
    config.configDirectory = folder.root();
    config.gameDirectory = L"not-created";
    std::size_t calls = 0;
    const bx::SyncSummary summary =
        bx::synchronize_client_files(config, [&](const bx::PatchProgress&) { ++calls; });
    EXPECT_EQ(calls, 0u);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_TRUE(summary.keptFiles.empty());
    EXPECT_FALSE(fs::exists(folder.root() / L"not-created"));
}

TEST(SyncCompletionMessage, NamesDownloadsRemovalsAndKeptFiles) {
    EXPECT_EQ(bx::sync_completion_message(0, 0, 0), L"El juego est\u00E1 al d\u00EDa.");
    EXPECT_EQ(bx::sync_completion_message(3, 2, 1),
              L"Descarga completa. Se quitaron 2 archivo(s) antiguos. Se conservaron 1 "
              L"archivo(s) modificados en esta PC.");
    EXPECT_EQ(bx::sync_completion_message(0, 0, 12),
              L"El juego est\u00E1 al d\u00EDa. Se conservaron 12 archivo(s) modificados en esta PC.");
}

// Three listed files (two to fetch, one already right) and two retired ones: every report in
// order, bytes counted across files, and the state the run leaves.
TEST(SynchronizeClientFiles, ReportsEveryStepOfAThreeFileSync) {
    GameFolder folder;
    PatchServer server;
    const std::string a = pattern_bytes(10, 1), b = pattern_bytes(20, 2), c = pattern_bytes(7, 3);
    write_bytes(folder / L"c.bin", c);
    write_bytes(folder / L"old.bin", "old");
    write_bytes(folder / L"mod.bin", "mine now");
    bx::save_managed_state(folder.path(), {{"old.bin", digest_of("old"), true},
                                           {"mod.bin", digest_of("as installed"), true}});
    server.publish({{"data/b.bin", b}, {"a.bin", a}, {"c.bin", c}});

    bx::SyncSummary summary;
    const auto reports = run(server.config(folder), &summary);

    ASSERT_GE(reports.size(), 9u);
    std::size_t i = 0;
    expect_report(reports[i++], L"Consultando la lista de archivos del juego\u2026", 0, 0, 0, 0);
    expect_report(reports[i++], L"Verificando a.bin\u2026", 0, 3, 0, 0);
    expect_report(reports[i++], L"Verificando c.bin\u2026", 1, 3, 0, 0);
    expect_report(reports[i++], L"Verificando data/b.bin\u2026", 2, 3, 0, 0);
    expect_report(reports[i++], L"Descargando a.bin\u2026", 0, 2, 0, 30);
    std::uint64_t done = 0;
    while (i < reports.size() && reports[i].bytesDone > done && reports[i].currentFile == 0) {
        expect_report(reports[i], L"Descargando a.bin\u2026", 0, 2, reports[i].bytesDone, 30);
        done = reports[i++].bytesDone;
    }
    EXPECT_EQ(done, 10u);
    ASSERT_LT(i, reports.size());
    expect_report(reports[i++], L"Descargando data/b.bin\u2026", 1, 2, 10, 30);
    while (i + 1 < reports.size()) {
        expect_report(reports[i], L"Descargando data/b.bin\u2026", 1, 2, reports[i].bytesDone, 30);
        EXPECT_GT(reports[i].bytesDone, done);
        done = reports[i++].bytesDone;
    }
    EXPECT_EQ(done, 30u);
    expect_report(reports.back(),
                  L"Descarga completa. Se quitaron 1 archivo(s) antiguos. Se conservaron 1 "
                  L"archivo(s) modificados en esta PC.",
                  2, 2, 30, 30);

    EXPECT_EQ(summary.downloadedCount, 2u);
    EXPECT_EQ(summary.removedCount, 1);
    EXPECT_EQ(summary.keptFiles, std::vector<std::wstring>{L"mod.bin"});
    EXPECT_EQ(file_bytes(folder / L"a.bin"), a);
    EXPECT_EQ(file_bytes(folder / L"data\\b.bin"), b);
    EXPECT_FALSE(fs::exists(folder / L"old.bin"));
    EXPECT_EQ(file_bytes(folder / L"mod.bin"), "mine now");
    EXPECT_EQ(server.requests_for("c.bin"), 0u);
    const bx::ManagedState state = bx::load_managed_state(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "a.bin");
    EXPECT_TRUE(state[0].removeWhenUnlisted);
    EXPECT_EQ(state[1].path, "data/b.bin");
}

TEST(SynchronizeClientFiles, ASecondRunWithNothingChangedDownloadsNothing) {
    GameFolder folder;
    PatchServer server;
    const std::string a = pattern_bytes(3000, 4), b = pattern_bytes(1048577, 5);
    // The manifest may write digests in capitals; the file is still up to date.
    std::string upper = digest_of(a);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    server.publish({{"a.bin", a, "", std::nullopt, upper}, {"big/b.bin", b}});
    bx::SyncSummary first;
    run(server.config(folder), &first);
    EXPECT_EQ(first.downloadedCount, 2u);
    const std::string state = file_bytes(folder / L".kadeorvindal-managed.json");
    const auto stamp = fs::last_write_time(folder / L".kadeorvindal-managed.json");

    bx::SyncSummary second;
    const auto reports = run(server.config(folder), &second);
    EXPECT_EQ(second.downloadedCount, 0u);
    ASSERT_FALSE(reports.empty());
    expect_report(reports.back(), L"El juego est\u00E1 al d\u00EDa.", 0, 0, 0, 0);
    EXPECT_EQ(reports.size(), 4u);  // start, two verifications, end
    EXPECT_EQ(server.requests_for("a.bin"), 1u);
    EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state);
    EXPECT_EQ(fs::last_write_time(folder / L".kadeorvindal-managed.json"), stamp);

    // Without a callback the run does the same work.
    const bx::SyncSummary quiet = bx::synchronize_client_files(server.config(folder), {});
    EXPECT_EQ(quiet.downloadedCount, 0u);
}

TEST(SynchronizeClientFiles, ReplacesWrongFilesAndTruncatesAnOldTemporaryFile) {
    GameFolder folder;
    PatchServer server;
    const std::string a = pattern_bytes(100, 6), b = pattern_bytes(100, 7);
    write_bytes(folder / L"same-size.bin", pattern_bytes(100, 8));  // right size, other bytes
    write_bytes(folder / L"other-size.bin", b + "x");
    write_bytes(folder / L"same-size.bin.download", pattern_bytes(5000, 9));
    server.publish({{"same-size.bin", a}, {"other-size.bin", b}});
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 2u);
    EXPECT_EQ(file_bytes(folder / L"same-size.bin"), a);
    EXPECT_EQ(file_bytes(folder / L"other-size.bin"), b);
    EXPECT_TRUE(leftovers(folder.path()).empty());
    // Both files stood there before: the launcher may replace them but never remove them.
    for (const bx::ManagedFileRecord& record : bx::load_managed_state(folder.path())) {
        EXPECT_FALSE(record.removeWhenUnlisted) << record.path;
    }
}

// The player's data: files that were there before the launcher, and launcher files the player
// changed, survive when they leave the manifest; unchanged launcher files go.
TEST(SynchronizeClientFiles, NeverRemovesWhatThePlayerOwnsOrChanged) {
    GameFolder folder;
    PatchServer server;
    write_bytes(folder / L"player.cfg", "player's own settings");
    server.publish({{"new.bin", "new"}, {"player.cfg", "default settings"}, {"mod.bin", "mod"}});
    run(server.config(folder));
    write_bytes(folder / L"mod.bin", "modded by the player");

    server.publish({});
    bx::SyncSummary summary;
    const auto reports = run(server.config(folder), &summary);
    EXPECT_EQ(summary.removedCount, 1);
    EXPECT_EQ(summary.keptFiles, (std::vector<std::wstring>{L"mod.bin", L"player.cfg"}));
    expect_report(reports.back(),
                  L"El juego est\u00E1 al d\u00EDa. Se quitaron 1 archivo(s) antiguos. Se "
                  L"conservaron 2 archivo(s) modificados en esta PC.",
                  0, 0, 0, 0);
    EXPECT_FALSE(fs::exists(folder / L"new.bin"));
    EXPECT_EQ(file_bytes(folder / L"mod.bin"), "modded by the player");
    EXPECT_EQ(file_bytes(folder / L"player.cfg"), "default settings");
    EXPECT_TRUE(state_paths(folder).empty());
}

TEST(SynchronizeClientFiles, ADirectoryAtAListedPathFailsWithoutHarm) {
    GameFolder folder;
    PatchServer server;
    write_bytes(folder / L"saves" / L"slot1.sav", "progress");
    server.publish({{"saves", "a file now"}});
    try {
        run(server.config(folder));
        ADD_FAILURE() << "replacing a directory should fail";
    } catch (const std::system_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("MoveFileExW(client file)", 0), 0u) << error.what();
    }
    EXPECT_EQ(file_bytes(folder / L"saves" / L"slot1.sav"), "progress");
    EXPECT_TRUE(leftovers(folder.path()).empty());
    EXPECT_TRUE(state_paths(folder).empty());
}

// What a hostile manifest may not do, seen from the disk: it is refused before anything of the
// game directory is touched.
TEST(SynchronizeClientFiles, HostileManifestsChangeNothing) {
    const char* paths[] = {"../outside.bin", ".kadeorvindal-managed.json",
                           ".kadeorvindal-managed.json.", "CON", "x.bin.download"};
    for (const char* hostile : paths) {
        GameFolder folder;
        PatchServer server;
        write_bytes(folder / L"x.bin", "x");
        write_bytes(folder / L"gone.bin", "gone");
        bx::save_managed_state(folder.path(), {{"gone.bin", digest_of("gone"), true}});
        const std::string state = file_bytes(folder / L".kadeorvindal-managed.json");
        server.publish({{"x.bin", "x"}, {hostile, "evil", "", std::nullopt, std::nullopt, false}});
        EXPECT_NE(thrown_text([&] { run(server.config(folder)); }), "") << hostile;
        EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state) << hostile;
        EXPECT_TRUE(fs::exists(folder / L"gone.bin")) << hostile;
        std::size_t outside = 0;
        for (const auto& item : fs::directory_iterator(folder.root())) {
            outside += item.path().filename() != L"game" ? 1 : 0;
        }
        EXPECT_EQ(outside, 0u) << hostile;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3)
            << hostile;
    }
}

struct Fault {
    const char* name;
    std::string query;
    std::optional<std::string> body;
    bool lockTarget;
};

// A failed download leaves the old file or none, never a part; no temporary file; a state that
// lists exactly the files moved so far; and the next good run converges.
void expect_clean_failure_and_recovery(const Fault& fault) {
    SCOPED_TRACE(fault.name);
    GameFolder folder;
    PatchServer server;
    const std::string good = pattern_bytes(5000, 10);
    const std::string target = pattern_bytes(300000, 11);
    write_bytes(folder / L"t.bin", "old bytes");
    server.publish({{"a_good.bin", good}, {"t.bin", target, fault.query, fault.body}});
    {
        std::optional<sync_test::FileLock> lock;
        if (fault.lockTarget) lock.emplace(folder / L"t.bin");
        EXPECT_NE(thrown_text([&] { run(server.config(folder)); }), "");
    }
    EXPECT_EQ(file_bytes(folder / L"t.bin"), "old bytes");
    EXPECT_EQ(file_bytes(folder / L"a_good.bin"), good);
    EXPECT_TRUE(leftovers(folder.path()).empty());
    EXPECT_EQ(state_paths(folder), std::vector<std::string>{"a_good.bin"});

    server.publish({{"a_good.bin", good}, {"t.bin", target}});
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 1u);
    EXPECT_EQ(file_bytes(folder / L"t.bin"), target);
    EXPECT_EQ(state_paths(folder), (std::vector<std::string>{"a_good.bin", "t.bin"}));
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
}

TEST(SynchronizeClientFiles, InjectedFaultsLeaveNoPartialFiles) {
    const std::string target = pattern_bytes(300000, 11);
    std::string flipped = target;
    flipped[150000] ^= 1;
    const Fault faults[] = {
        {"closed mid-file", "cut=1000", std::nullopt, false},
        {"reset mid-file", "reset_after=1000", std::nullopt, false},
        {"shorter body", "length=none", target.substr(0, 299999), false},
        {"longer body", "", target + pattern_bytes(4 << 20, 12), false},
        {"longer body without length", "length=none", target + "x", false},
        {"wrong digest", "", flipped, false},
        {"not found", "status=404", std::nullopt, false},
        {"server error", "status=500", std::nullopt, false},
        {"locked target", "", std::nullopt, true},
    };
    for (const Fault& fault : faults) {
        expect_clean_failure_and_recovery(fault);
    }
}

TEST(SynchronizeClientFiles, TheMessagesOfABadDownloadNameTheEntry) {
    GameFolder folder;
    PatchServer server;
    const std::string target = pattern_bytes(1000, 13);
    const std::string damaged =
        "El archivo descargado lleg\u00F3 da\u00F1ado (tama\u00F1o o SHA-256 no coinciden): "
        "data/t.bin. Vuelve a intentarlo.";
    server.publish({{"data/t.bin", target, "", target + "more"}});
    EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }), damaged);
    server.publish({{"data/t.bin", target, "", target.substr(1)}});
    EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }), damaged);
    server.publish({{"data/t.bin", target, "status=404"}});
    EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }),
              "El servidor respondi\u00F3 con el estado HTTP 404.");
}

TEST(SynchronizeClientFiles, AStalledBodyRunsIntoTheTimeOut) {
    expect_clean_failure_and_recovery({"stalled body", "stall=45", std::nullopt, false});
}

std::wstring beside_this_test(const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return (fs::path(buffer).parent_path() / name).native();
}

// The launcher may be ended at any moment, here in the middle of a download: the old file
// stays whole, and the next run completes and verifies.
TEST(SynchronizeClientFiles, AKillDuringADownloadIsRepairedByTheNextRun) {
    GameFolder folder;
    PatchServer server;
    const std::string target = pattern_bytes(65536, 14);
    write_bytes(folder / L"t.bin", "old bytes");
    server.publish({{"t.bin", target, "trickle=1"}});

    std::wstring command = L"\"" + beside_this_test(L"sync_runner.exe") + L"\" \"" +
                           server.config(folder).patchManifestUrl + L"\" \"" +
                           folder.path().native() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process))
        << GetLastError();
    // Wait until bytes of the body have reached the temporary file, then end the process.
    const fs::path partial = folder / L"t.bin.download";
    bool midway = false;
    for (int i = 0; i < 3000 && !midway; ++i) {
        std::error_code error;
        midway = fs::file_size(partial, error) > 0 && !error;
        if (!midway) {
            if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
        }
    }
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(midway) << "the download never started";
    EXPECT_EQ(file_bytes(folder / L"t.bin"), "old bytes");

    server.publish({{"t.bin", target}});
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 1u);
    EXPECT_EQ(file_bytes(folder / L"t.bin"), target);
    EXPECT_TRUE(leftovers(folder.path()).empty());
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
}

}  // namespace
