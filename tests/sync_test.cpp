#include "launcher/sync/sync.h"

#include "launcher/platform/text.h"
#include "launcher/sync/game_folder_lock.h"
#include "launcher/sync/managed_state.h"
#include "launcher/sync/sha256.h"

#include "child_process.h"
#include "scratch_folder.h"
#include "test_server_client.h"
#include "state_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

namespace fs = std::filesystem;
using bx_test::beside_this_test;
using bx_test::file_bytes;
using bx_test::pattern_bytes;
using bx_test::ScratchGameFolder;
using bx_test::thrown_text;
using bx_test::write_bytes;

std::string digest_of(const std::string& content) {
    const bx_test::ScratchFolder scratch;
    write_bytes(scratch / L"content.bin", content);
    return bx::sha256_file(scratch / L"content.bin");
}

std::string upper(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

// One manifest entry: what the file must hold, and what the server actually sends for it.
struct Served {
    std::string path;
    std::string content;
    std::string query = {};                  // delivery options of the file's answer
    std::optional<std::string> body = {};    // sent instead of content
    std::optional<std::string> sha256 = {};  // listed instead of the content's digest
};

// The files of one test on the loopback server, under a tag of their own.
class PatchServer {
public:
    // A tag can come back in a later run (process ids repeat): start from an empty journal.
    PatchServer() { bx_test::raw_request(L"GET", "/t/" + tag_.tag() + "/_journal/clear"); }

    void publish(const std::vector<Served>& files) const {
        std::string manifest = "{\"schema\": 1, \"files\": [";
        const char* separator = "";
        for (const Served& file : files) {
            tag_.store_file(file.path, file.body.value_or(file.content), file.query);
            manifest += separator;
            manifest += "{\"path\": \"" + file.path + "\", \"url\": \"" + file.path +
                        "\", \"size\": " + std::to_string(file.content.size()) +
                        ", \"sha256\": \"" + file.sha256.value_or(digest_of(file.content)) + "\"}";
            separator = ", ";
        }
        publish_manifest(manifest + "]}");
    }

    void publish_manifest(const std::string& text) const { tag_.store_file("manifest.json", text); }

    std::wstring manifest_url() const { return tag_.url("/files/manifest.json"); }

    bx::LauncherConfig config(const ScratchGameFolder& folder) const {
        bx::LauncherConfig config;
        config.patchManifestUrl = manifest_url();
        config.configDirectory = folder.root();
        config.gameDirectory = L"game";
        return config;
    }

    // Requests this test has made, the manifest's included.
    std::size_t request_count() const { return tag_.journal().size(); }

    void open_gate(std::string_view name) const { tag_.open_gate(name); }

    std::size_t requests_for(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& entry : tag_.journal()) {
            count += entry.path == "/files/" + path ? 1 : 0;
        }
        return count;
    }

private:
    bx_test::ServerTag tag_;
};

std::vector<std::string> state_paths(const ScratchGameFolder& folder) {
    std::vector<std::string> paths;
    for (const bx::ManagedFileRecord& record : bx_test::load_state_records(folder.path())) {
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
    ScratchGameFolder folder;
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
    ScratchGameFolder folder;
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
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "a.bin");
    EXPECT_TRUE(state[0].removeWhenUnlisted);
    EXPECT_EQ(state[1].path, "data/b.bin");
}

TEST(SynchronizeClientFiles, ASecondRunWithNothingChangedDownloadsNothing) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string a = pattern_bytes(3000, 4), b = pattern_bytes(1048577, 5);
    // The manifest may write digests in capitals; the file is still up to date.
    server.publish({{"a.bin", a, "", std::nullopt, upper(digest_of(a))}, {"big/b.bin", b}});
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
    ScratchGameFolder folder;
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
    for (const bx::ManagedFileRecord& record : bx_test::load_state_records(folder.path())) {
        EXPECT_FALSE(record.removeWhenUnlisted) << record.path;
    }
}

// The player's data: files that were there before the launcher, and launcher files the player
// changed, survive when they leave the manifest; unchanged launcher files go.
TEST(SynchronizeClientFiles, NeverRemovesWhatThePlayerOwnsOrChanged) {
    ScratchGameFolder folder;
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
    ScratchGameFolder folder;
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

// One listed file in manifest JSON; `path` and `url` are JSON string contents, escapes allowed.
std::string listed_entry(const std::string& path, const std::string& url = "x.bin") {
    return "{\"path\": \"" + path + "\", \"url\": \"" + url + "\", \"size\": 1, \"sha256\": \"" +
           digest_of("x") + "\"}";
}

// Gives the game directory a launcher-created file, gone.bin, that any manifest that gets
// through would retire; returns the state file's bytes.
std::string add_retirable_file(const ScratchGameFolder& folder) {
    write_bytes(folder / L"gone.bin", "gone");
    bx::save_managed_state(folder.path(), {{"gone.bin", digest_of("gone"), true}});
    return file_bytes(folder / L".kadeorvindal-managed.json");
}

// What a hostile manifest may not do, seen from the disk: it is refused before anything of the
// game directory is touched or any file is fetched. (The message of each refusal is checked
// where the manifest is parsed.)
TEST(SynchronizeClientFiles, HostileManifestsChangeNothing) {
    const std::string longUrl = "http://127.0.0.1/" + std::string(32768, 'u');
    const struct {
        const char* name;
        std::string entries;  // beside the good entry x.bin
    } cases[] = {
        {"parent", listed_entry("../outside.bin")},
        {"rooted", listed_entry("/outside.bin")},
        {"backslash", listed_entry("a\\\\b")},
        {"drive relative", listed_entry("C:outside.bin")},
        {"stream", listed_entry("x.bin:stream")},
        {"empty segment", listed_entry("a//b")},
        {"device", listed_entry("CON")},
        {"device with extension", listed_entry("aux.txt")},
        {"trailing dot", listed_entry("a.")},
        {"trailing blank", listed_entry("a.bin ")},
        {"NUL", listed_entry("a\\u0000b")},
        // Names Windows cannot create: such a download could never be written, so retirement
        // must not have run for it.
        {"question mark", listed_entry("bad?.dat")},
        {"star", listed_entry("data/*.pak")},
        {"angle brackets", listed_entry("<a>.bin")},
        {"bar", listed_entry("a|b.bin")},
        {"double quote", listed_entry("a\\\"b.bin")},
        {"control byte", listed_entry("a\\u0001b.bin")},
        {"last control byte", listed_entry("a\\u001fb.bin")},
        {"letter case clash", listed_entry("Data/A.pak") + "," + listed_entry("data/a.PAK")},
        {"letter case clash beyond A-Z",
         listed_entry("\xC3\x89.pak") + "," + listed_entry("\xC3\xA9.pak")},
        {"state file", listed_entry(".kadeorvindal-managed.json")},
        {"state file with a trailing dot", listed_entry(".kadeorvindal-managed.json.")},
        {"state temporary", listed_entry(".kadeorvindal-managed.json.tmp")},
        {"beneath the state temporary", listed_entry(".kadeorvindal-managed.json.tmp/x")},
        {"beside its download name", listed_entry("x.bin.download")},
        {"credentials", listed_entry("y.bin", "http://user:pw@127.0.0.1/y.bin")},
        {"ftp", listed_entry("y.bin", "ftp://127.0.0.1/y.bin")},
        {"file scheme", listed_entry("y.bin", "file:///C:/windows/win.ini")},
        {"long URL", listed_entry("y.bin", longUrl)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchGameFolder folder;
        PatchServer server;
        write_bytes(folder / L"x.bin", "x");
        const std::string state = add_retirable_file(folder);
        server.publish({{"x.bin", "x"}});
        server.publish_manifest("{\"schema\": 1, \"files\": [" + listed_entry("x.bin") + "," +
                                c.entries + "]}");

        EXPECT_NE(thrown_text([&] { run(server.config(folder)); }), "");
        EXPECT_EQ(server.request_count(), 1u);  // the manifest only
        EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state);
        EXPECT_EQ(file_bytes(folder / L"gone.bin"), "gone");
        EXPECT_EQ(file_bytes(folder / L"x.bin"), "x");
        std::size_t outside = 0;
        for (const auto& item : fs::directory_iterator(folder.root())) {
            outside += item.path().filename() != L"game" ? 1 : 0;
        }
        EXPECT_EQ(outside, 0u);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3);
    }
}

// A state file that is not a state, as a player's editor, another program or a disk fault may
// leave it: the run stops with the file's full path in front of the reason, before anything is
// retired, fetched or recorded, and the file stays as it is for the player to rename or remove.
TEST(SynchronizeClientFiles, ADamagedStateStopsTheRunNamingItsFileAndChangesNothing) {
    const struct {
        const char* name;
        std::string (*damage)(const std::string& state);
        std::string reason;
    } cases[] = {
        {"foreign text", [](const std::string&) { return std::string("Mis notas del juego"); },
         "unexpected token at byte 0"},
        {"cut short after its first record",
         [](const std::string& state) { return state.substr(0, state.find("},\n") + 3); },
         "unexpected end of input at byte "},
        {"a record of the wrong shape",
         [](const std::string& state) {
             std::string changed = state;
             const std::string flag = "\"removeWhenUnlisted\": true";
             return changed.replace(changed.find(flag), flag.size(), "\"removeWhenUnlisted\": \"yes\"");
         },
         "JSON value is not a boolean"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchGameFolder folder;
        PatchServer server;
        server.publish({{"a.bin", "a"}, {"gone.bin", "gone"}, {"c.bin", "old"}});
        run(server.config(folder));
        ASSERT_EQ(state_paths(folder), (std::vector<std::string>{"a.bin", "c.bin", "gone.bin"}));

        // gone.bin leaves the manifest, c.bin changes and new.bin arrives.
        server.publish({{"a.bin", "a"}, {"c.bin", "new"}, {"new.bin", "new"}});
        const std::size_t requestsBefore = server.request_count();
        const fs::path stateFile = folder / L".kadeorvindal-managed.json";
        const std::string damaged = c.damage(file_bytes(stateFile));
        write_bytes(stateFile, damaged);
        std::string reason = c.reason;
        if (reason.back() == ' ') reason += std::to_string(damaged.size());

        EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }),
                  bx::path_utf8(stateFile) + ": " + reason);
        EXPECT_EQ(file_bytes(stateFile), damaged);
        EXPECT_EQ(server.request_count(), requestsBefore + 1);  // the manifest only
        EXPECT_EQ(file_bytes(folder / L"gone.bin"), "gone");
        EXPECT_EQ(file_bytes(folder / L"c.bin"), "old");
        EXPECT_FALSE(fs::exists(folder / L"new.bin"));
        EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));
        EXPECT_TRUE(leftovers(folder.path()).empty());
    }
}

// What the player's way out does, as the documentation tells it: once the damaged state is
// renamed, the next run works without a record. A file found as listed stays unrecorded, so the
// launcher never removes it; a file it replaces is recorded as one that stood there before, so it
// is kept when it leaves the manifest; only a file it creates is its own to remove. A file that
// left the manifest meanwhile is nobody's and stays.
TEST(SynchronizeClientFiles, AfterADamagedStateIsRenamedOnlyNewFilesAreTheLaunchersToRemove) {
    ScratchGameFolder folder;
    PatchServer server;
    server.publish({{"a.bin", "a"}, {"gone.bin", "gone"}, {"c.bin", "old"}});
    run(server.config(folder));
    const fs::path stateFile = folder / L".kadeorvindal-managed.json";
    write_bytes(stateFile, "Mis notas del juego");

    fs::rename(stateFile, folder / L"estado-danado.json");
    server.publish({{"a.bin", "a"}, {"c.bin", "new"}, {"new.bin", "new"}});
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 2u);
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_EQ(file_bytes(folder / L"gone.bin"), "gone");
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "c.bin");
    EXPECT_FALSE(state[0].removeWhenUnlisted);
    EXPECT_EQ(state[1].path, "new.bin");
    EXPECT_TRUE(state[1].removeWhenUnlisted);

    server.publish({});
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.removedCount, 1);
    EXPECT_EQ(summary.keptFiles, std::vector<std::wstring>{L"c.bin"});
    EXPECT_FALSE(fs::exists(folder / L"new.bin"));
    for (const wchar_t* stays : {L"a.bin", L"c.bin", L"gone.bin", L"estado-danado.json"}) {
        EXPECT_TRUE(fs::exists(folder / stays)) << bx::wide_to_utf8(stays);
    }
}

struct Fault {
    const char* name;
    std::string query;
    std::optional<std::string> body;
    bool lockTarget;
};

// A failed download leaves the old file or none, never a part; no temporary file; a state that
// lists exactly the files moved so far, and nothing after the failed file; no report counts
// more bytes than were announced (a body is cut off once it is longer than its size); and the
// next good run converges.
void expect_clean_failure_and_recovery(const Fault& fault) {
    SCOPED_TRACE(fault.name);
    ScratchGameFolder folder;
    PatchServer server;
    const std::string good = pattern_bytes(5000, 10);
    const std::string target = pattern_bytes(300000, 11);
    const std::string after = pattern_bytes(700, 15);
    write_bytes(folder / L"t.bin", "old bytes");
    server.publish({{"a_good.bin", good}, {"t.bin", target, fault.query, fault.body},
                    {"z_after.bin", after}});
    std::vector<bx::PatchProgress> reports;
    {
        std::optional<bx_test::FileLock> lock;
        if (fault.lockTarget) lock.emplace(folder / L"t.bin");
        EXPECT_NE(thrown_text([&] {
                      bx::synchronize_client_files(
                          server.config(folder),
                          [&](const bx::PatchProgress& p) { reports.push_back(p); });
                  }),
                  "");
    }
    ASSERT_FALSE(reports.empty());
    std::uint64_t mostBytes = 0;
    for (const bx::PatchProgress& p : reports) {
        mostBytes = std::max(mostBytes, p.bytesDone);
    }
    EXPECT_LE(mostBytes, reports.back().bytesTotal);
    EXPECT_EQ(file_bytes(folder / L"t.bin"), "old bytes");
    EXPECT_EQ(file_bytes(folder / L"a_good.bin"), good);
    EXPECT_FALSE(fs::exists(folder / L"z_after.bin"));
    EXPECT_TRUE(leftovers(folder.path()).empty());
    EXPECT_EQ(state_paths(folder), std::vector<std::string>{"a_good.bin"});

    server.publish({{"a_good.bin", good}, {"t.bin", target}, {"z_after.bin", after}});
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 2u);
    EXPECT_EQ(file_bytes(folder / L"t.bin"), target);
    EXPECT_EQ(file_bytes(folder / L"z_after.bin"), after);
    EXPECT_EQ(state_paths(folder), (std::vector<std::string>{"a_good.bin", "t.bin", "z_after.bin"}));
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
    ScratchGameFolder folder;
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

    // A folder of the player's stands where the download goes: it cannot be created, and the
    // folder stays as it was.
    const fs::path temporary = folder / L"data\\t.bin.download";
    write_bytes(temporary / L"keep.txt", "mine");
    server.publish({{"data/t.bin", target}});
    EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }),
              "No se pudo crear " + bx::wide_to_utf8(temporary.native()) +
                  ". Revisa que la carpeta del juego no est\u00E9 en \"Archivos de programa\" y que "
                  "el antivirus no la bloquee.");
    EXPECT_EQ(file_bytes(temporary / L"keep.txt"), "mine");
    EXPECT_FALSE(fs::exists(folder / L"data\\t.bin"));
}

TEST(SynchronizeClientFiles, AStalledBodyRunsIntoTheTimeOut) {
    expect_clean_failure_and_recovery({"stalled body", "stall=45", std::nullopt, false});
}

// A file recorded as "é.pak" that the manifest now spells "É.pak" is the same file to NTFS: it is
// neither retired nor fetched again.
TEST(SynchronizeClientFiles, ASpellingThatChangesOnlyANonAsciiLettersCaseIsTheSameFile) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string content = pattern_bytes(64, 16);
    write_bytes(bx::resolve_managed_path(folder.path(), "\xC3\xA9t\xC3\xA9.pak"), content);
    bx::save_managed_state(folder.path(), {{"\xC3\xA9t\xC3\xA9.pak", digest_of(content), true}});
    const std::string state = file_bytes(folder / L".kadeorvindal-managed.json");
    server.publish_manifest("{\"schema\": 1, \"files\": [{\"path\": \"\xC3\x89T\xC3\x89.pak\", "
                            "\"url\": \"x.bin\", \"size\": 64, \"sha256\": \"" +
                            digest_of(content) + "\"}]}");
    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(summary.removedCount, 0);
    EXPECT_EQ(server.requests_for("x.bin"), 0u);
    EXPECT_EQ(file_bytes(bx::resolve_managed_path(folder.path(), "\xC3\x89T\xC3\x89.pak")), content);
    EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state);
}

// The 8.3 short name that Windows will give one of the launcher's own files in this folder,
// read from the disk; empty when the volume makes none.
std::string short_name_of(const fs::path& file) {
    const bool existed = fs::exists(file);
    if (!existed) write_bytes(file, "probe");
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(file.c_str(), buffer, MAX_PATH);
    if (!existed) fs::remove(file);
    const std::wstring name =
        length == 0 || length >= MAX_PATH ? std::wstring() : fs::path(buffer).filename().native();
    if (name.empty() || name == file.filename().native()) return {};
    return std::string(name.begin(), name.end());
}

// On a first install there is no state file while the manifest is checked, so its 8.3 alias
// names nothing yet. It does by the time the alias's download is moved: the first download
// created the state file. The move is refused then, and the state stays the launcher's own.
TEST(SynchronizeClientFiles, AnAliasOfTheStateFileIsRefusedWhenTheDownloadWouldReplaceIt) {
    const struct {
        const char* name;
        const wchar_t* ownFile;
        bool staleTemporary;  // a ".tmp" left by an interrupted save
    } cases[] = {
        {"state file", L".kadeorvindal-managed.json", false},
        {"state temporary", L".kadeorvindal-managed.json.tmp", false},
        {"stale state temporary", L".kadeorvindal-managed.json.tmp", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchGameFolder folder;
        PatchServer server;
        const std::string alias = short_name_of(folder / c.ownFile);
        if (alias.empty()) GTEST_SKIP() << "this volume keeps no 8.3 short names";
        if (c.staleTemporary) write_bytes(folder / c.ownFile, "half a state");
        const std::string first = pattern_bytes(100, 17);
        const std::string forged =
            "{\"schema\": 1, \"files\": [{\"path\": \"player.cfg\", \"sha256\": \"" +
            std::string(64, 'a') + "\", \"removeWhenUnlisted\": true}]}";
        server.publish({{"!first.bin", first}, {alias, forged}});
        const std::string failure = thrown_text([&] { run(server.config(folder)); });

        // Whatever the run did, the state is the launcher's and the server's bytes are nowhere
        // in its place; the next run with a good manifest succeeds.
        const fs::path stateFile = folder / L".kadeorvindal-managed.json";
        if (fs::exists(stateFile)) {
            EXPECT_NE(file_bytes(stateFile), forged);
            for (const std::string& path : state_paths(folder)) EXPECT_NE(path, "player.cfg");
        }
        if (c.ownFile == std::wstring(L".kadeorvindal-managed.json")) {
            EXPECT_EQ(failure, "Patch manifest cannot replace launcher ownership state");
            EXPECT_EQ(state_paths(folder), std::vector<std::string>{"!first.bin"});
            EXPECT_EQ(file_bytes(folder / L"!first.bin"), first);
        }
        if (c.staleTemporary) {
            EXPECT_EQ(failure, "Patch manifest cannot replace launcher ownership state");
            EXPECT_EQ(server.request_count(), 1u);  // refused before any download
        }
        EXPECT_TRUE(leftovers(folder.path()).empty());
        server.publish({{"!first.bin", first}, {"second.bin", "2"}});
        EXPECT_EQ(thrown_text([&] { run(server.config(folder)); }), "");
        EXPECT_EQ(file_bytes(folder / L"second.bin"), "2");
        EXPECT_NE(bx_test::load_state_records(folder.path()).size(), 0u);
    }
}

// Recording fails after the download was moved into place (the state file cannot be replaced):
// the file stays, it gets no record, and the next run finds it up to date.
TEST(SynchronizeClientFiles, ARecordThatFailsAfterTheMoveLeavesTheFileUnrecorded) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string a = pattern_bytes(100, 18), b = pattern_bytes(200, 19);
    server.publish({{"a.bin", a}});
    run(server.config(folder));
    const fs::path stateFile = folder / L".kadeorvindal-managed.json";
    const std::string state = file_bytes(stateFile);

    server.publish({{"a.bin", a}, {"b.bin", b}});
    std::string failure;
    {
        bx_test::FileLock lock(stateFile, FILE_SHARE_READ);
        failure = thrown_text([&] { run(server.config(folder)); });
    }
    EXPECT_EQ(failure.rfind("MoveFileExW(patch ownership state)", 0), 0u) << failure;
    EXPECT_EQ(file_bytes(folder / L"b.bin"), b);
    EXPECT_EQ(file_bytes(stateFile), state);
    EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));
    EXPECT_TRUE(leftovers(folder.path()).empty());

    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(state_paths(folder), std::vector<std::string>{"a.bin"});
}

// The record of a download cannot be saved after its move (another program holds the state
// file): the file is the new version while its record still names the old one. The next run
// finds the file up to date and brings its record in line, so the file retires later like any
// file the launcher installed, instead of being kept as if the player had changed it.
TEST(SynchronizeClientFiles, ARecordLeftBehindByAFailedSaveCatchesUpAndTheFileRetiresLater) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string v1 = pattern_bytes(100, 21), v2 = pattern_bytes(120, 22);
    const fs::path stateFile = folder / L".kadeorvindal-managed.json";
    server.publish({{"g.bin", v1}});
    run(server.config(folder));

    server.publish({{"g.bin", v2}});
    std::string failure;
    {
        const bx_test::HeldFile held(stateFile);
        failure = thrown_text([&] { run(server.config(folder)); });
    }
    EXPECT_EQ(failure.rfind("MoveFileExW(patch ownership state)", 0), 0u) << failure;
    EXPECT_EQ(file_bytes(folder / L"g.bin"), v2);
    ASSERT_EQ(bx_test::load_state_records(folder.path()).at(0).sha256, digest_of(v1));

    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].sha256, digest_of(v2));
    EXPECT_TRUE(state[0].removeWhenUnlisted);

    server.publish({});
    const auto reports = run(server.config(folder), &summary);
    EXPECT_EQ(summary.removedCount, 1);
    EXPECT_TRUE(summary.keptFiles.empty());
    EXPECT_FALSE(fs::exists(folder / L"g.bin"));
    expect_report(reports.back(),
                  L"El juego est\u00E1 al d\u00EDa. Se quitaron 1 archivo(s) antiguos.", 0, 0, 0, 0);
}

// Only records that fell behind are brought in line: such a record takes the manifest's digest
// and spelling and keeps whether the launcher may remove the file. A record that agrees, in
// whatever letter case, stays as it is, and a file without a record stays unrecorded. The
// retirement before it drops a record, so the records have moved when they are repaired.
TEST(SynchronizeClientFiles, AnUpToDateRunRepairsOnlyTheRecordsThatFellBehind) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string agreeing = upper(digest_of("agrees"));
    write_bytes(folder / L"gone.bin", "gone");
    write_bytes(folder / L"agrees.bin", "agrees");
    write_bytes(folder / L"data\\stale.bin", "new");
    write_bytes(folder / L"mine.bin", "mine");
    bx::save_managed_state(folder.path(), {{"gone.bin", digest_of("gone"), true},
                                           {"agrees.bin", agreeing, true},
                                           {"data/stale.bin", digest_of("old"), false}});
    server.publish({{"agrees.bin", "agrees"}, {"Data/Stale.bin", "new"}, {"mine.bin", "mine"}});

    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(summary.removedCount, 1);
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "agrees.bin");
    EXPECT_EQ(state[0].sha256, agreeing);
    EXPECT_EQ(state[1].path, "Data/Stale.bin");
    EXPECT_EQ(state[1].sha256, digest_of("new"));
    EXPECT_FALSE(state[1].removeWhenUnlisted);
}

// When every record agrees (here in another letter case than the manifest's), an up-to-date run
// leaves the state file alone, and a listed file of the player's stays unrecorded.
TEST(SynchronizeClientFiles, AnUpToDateRunWithAgreeingRecordsLeavesTheStateFileAlone) {
    ScratchGameFolder folder;
    PatchServer server;
    write_bytes(folder / L"agrees.bin", "agrees");
    write_bytes(folder / L"mine.bin", "mine");
    bx::save_managed_state(folder.path(), {{"agrees.bin", upper(digest_of("agrees")), true}});
    const fs::path stateFile = folder / L".kadeorvindal-managed.json";
    const std::string bytes = file_bytes(stateFile);
    const auto stamp = fs::last_write_time(stateFile);
    server.publish({{"agrees.bin", "agrees"}, {"mine.bin", "mine"}});

    bx::SyncSummary summary;
    run(server.config(folder), &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
    EXPECT_EQ(file_bytes(stateFile), bytes);
    EXPECT_EQ(fs::last_write_time(stateFile), stamp);
    EXPECT_EQ(state_paths(folder), std::vector<std::string>{"agrees.bin"});
}

// The repairs are saved once, after verification. When another program holds the state file
// then, an up-to-date game is still up to date: the run succeeds as if no record had fallen
// behind, and the next run repairs the record. A file that has to be downloaded meanwhile still
// ends the run when its own record cannot be saved, and stays unrecorded, as any such file does.
TEST(SynchronizeClientFiles, ARepairThatCannotBeSavedDoesNotStopTheRun) {
    const struct {
        const char* name;
        std::vector<Served> more;  // listed beside the up-to-date g.bin
        const char* failure;       // how the held run ends: its start, or "" for success
    } cases[] = {
        {"up to date", {}, ""},
        {"one download", {{"more.bin", "more"}}, "MoveFileExW(patch ownership state)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchGameFolder folder;
        PatchServer server;
        write_bytes(folder / L"g.bin", "new");
        bx::save_managed_state(folder.path(), {{"g.bin", digest_of("old"), true}});
        const fs::path stateFile = folder / L".kadeorvindal-managed.json";
        const std::string bytes = file_bytes(stateFile);
        std::vector<Served> files = {{"g.bin", "new"}};
        files.insert(files.end(), c.more.begin(), c.more.end());
        server.publish(files);

        std::string failure;
        std::vector<bx::PatchProgress> reports;
        bx::SyncSummary summary;
        {
            const bx_test::HeldFile held(stateFile);
            failure = thrown_text([&] { reports = run(server.config(folder), &summary); });
        }
        EXPECT_EQ(failure.rfind(c.failure, 0), 0u) << failure;
        if (*c.failure == '\0') {
            EXPECT_EQ(summary.downloadedCount, 0u);
            ASSERT_FALSE(reports.empty());
            expect_report(reports.back(), L"El juego est\u00E1 al d\u00EDa.", 0, 0, 0, 0);
        }
        for (const Served& file : c.more) {
            EXPECT_EQ(file_bytes(folder / bx::utf8_to_wide(file.path)), file.content);
        }
        EXPECT_EQ(file_bytes(stateFile), bytes);
        EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));
        EXPECT_TRUE(leftovers(folder.path()).empty());

        run(server.config(folder), &summary);
        EXPECT_EQ(summary.downloadedCount, 0u);
        const bx::ManagedState state = bx_test::load_state_records(folder.path());
        ASSERT_EQ(state.size(), 1u);
        EXPECT_EQ(state[0].sha256, digest_of("new"));
        EXPECT_TRUE(state[0].removeWhenUnlisted);
    }
}

// A receiver of the progress reports that fails in the middle of a transfer ends the run like
// any other failure: its exception reaches the caller and no partial file stays.
TEST(SynchronizeClientFiles, AProgressCallbackThatThrowsMidTransferLeavesNoPartialFile) {
    ScratchGameFolder folder;
    PatchServer server;
    write_bytes(folder / L"t.bin", "old bytes");
    server.publish({{"t.bin", pattern_bytes(3 << 20, 20)}});
    const std::string failure = thrown_text([&] {
        bx::synchronize_client_files(server.config(folder), [](const bx::PatchProgress& p) {
            if (p.bytesDone > 0 && p.bytesDone < p.bytesTotal) {
                throw std::runtime_error("the window is gone");
            }
        });
    });
    EXPECT_EQ(failure, "the window is gone");
    EXPECT_EQ(file_bytes(folder / L"t.bin"), "old bytes");
    EXPECT_TRUE(leftovers(folder.path()).empty());
    EXPECT_TRUE(state_paths(folder).empty());
}

// A game directory given as an extended-length path is the same folder.
TEST(SynchronizeClientFiles, AnExtendedLengthGameDirectoryIsTheSameFolder) {
    ScratchGameFolder folder;
    PatchServer server;
    server.publish({{"data/a.bin", "a"}});
    bx::LauncherConfig config = server.config(folder);
    config.configDirectory = L"\\\\?\\" + folder.root().native();
    bx::SyncSummary summary;
    run(config, &summary);
    EXPECT_EQ(summary.downloadedCount, 1u);
    EXPECT_EQ(file_bytes(folder / L"data\\a.bin"), "a");
    EXPECT_EQ(state_paths(folder), std::vector<std::string>{"data/a.bin"});
    run(config, &summary);
    EXPECT_EQ(summary.downloadedCount, 0u);
}

// One command-line argument in quotes, as the C runtime reads it back: backslashes before the
// closing quote are doubled, so that a folder written with a trailing separator keeps it.
std::wstring quoted(const std::wstring& argument) {
    std::size_t backslashes = 0;
    while (backslashes < argument.size() && argument[argument.size() - 1 - backslashes] == L'\\') {
        ++backslashes;
    }
    return L"\"" + argument + std::wstring(backslashes, L'\\') + L"\"";
}

// One synchronisation in a process of its own (fixtures/sync_runner), as the launcher runs it:
// exit code 0 on success, 1 on failure, with the failure's text on its standard error. The
// process is ended at the latest with the object.
class SyncRunner {
public:
    SyncRunner(const fs::path& executable, const std::wstring& manifestUrl,
               const std::wstring& gameDirectory)
        : errors_(false),
          process_(quoted(executable.native()) + L" " + quoted(manifestUrl) + L" " +
                       quoted(gameDirectory),
                   nullptr, nullptr, errors_.childEnd.get()) {
        errors_.childEnd.reset();  // so that the reading below ends when the process does
    }
    // The fixture built beside this test, on the server's manifest.
    SyncRunner(const PatchServer& server, const std::wstring& gameDirectory)
        : SyncRunner(beside_this_test(L"sync_runner.exe"), server.manifest_url(), gameDirectory) {}

    DWORD exit_code() const { return process_.exit_code(); }
    bool finished_within(DWORD milliseconds) const {
        return process_.finished_within(milliseconds);
    }
    void kill() const { process_.kill(); }

    // What it wrote to its standard error once it has ended, without the line end.
    std::string said() const {
        std::string text = bx_test::read_to_end(errors_.parentEnd.get());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }

private:
    bx_test::InheritedPipe errors_;
    bx_test::ChildProcess process_;
};

// Three files, the second of which the server holds back after its headers until the test
// opens the gate "held": a launcher that downloads them holds the folder as long as the test
// wants.
std::vector<Served> held_download_files() {
    return {{"a.bin", "a"}, {"slow.bin", pattern_bytes(65536, 30), "gate=held"}, {"z.bin", "z"}};
}

// Waits until the runner is in the held download (its temporary file is there); false when it
// ended or never got there.
bool reaches_held_download(const SyncRunner& runner, const fs::path& gameDirectory) {
    for (int i = 0; i < 6000; ++i) {
        if (fs::exists(gameDirectory / L"slow.bin.download")) return true;
        if (runner.finished_within(10)) return false;
    }
    return false;
}

// Every file in place and recorded, in the manifest's order, and no temporary file left.
void expect_installed(const fs::path& gameDirectory, const std::vector<Served>& files) {
    std::vector<std::string> recorded;
    for (const bx::ManagedFileRecord& record : bx_test::load_state_records(gameDirectory)) {
        recorded.push_back(record.path);
    }
    std::vector<std::string> listed;
    for (const Served& file : files) {
        listed.push_back(file.path);
        EXPECT_EQ(file_bytes(gameDirectory / bx::utf8_to_wide(file.path)), file.content)
            << file.path;
    }
    EXPECT_EQ(recorded, listed);
    EXPECT_TRUE(leftovers(gameDirectory).empty());
}

std::wstring ascii_upper_text(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

// Two launchers started together on a game folder that does not exist yet, the second writing
// it in upper case: one installs the game while the other stops at once with the message and
// asks the server for nothing, not even the manifest.
TEST(SynchronizeClientFiles, OfTwoFirstInstallsOfOneFolderOneRunsAndTheOtherStopsAtOnce) {
    const bx_test::ScratchFolder scratch;
    PatchServer server;
    const std::vector<Served> files = held_download_files();
    server.publish(files);
    const fs::path game = scratch / L"Juego";
    const SyncRunner first(server, game.native());
    const SyncRunner second(server, ascii_upper_text(game.native()));

    // The one that holds the folder waits at the gate, so the other has to end first.
    const SyncRunner* stopped = nullptr;
    for (int i = 0; i < 3000 && stopped == nullptr; ++i) {
        stopped = first.finished_within(10)    ? &first
                  : second.finished_within(10) ? &second
                                               : nullptr;
    }
    ASSERT_NE(stopped, nullptr) << "neither launcher stopped";
    const SyncRunner& holder = stopped == &first ? second : first;
    EXPECT_EQ(stopped->exit_code(), 1u);
    EXPECT_EQ(stopped->said(), bx::kGameFolderBusyMessage);
    EXPECT_FALSE(holder.finished_within(0));

    server.open_gate("held");
    EXPECT_EQ(holder.exit_code(), 0u) << holder.said();
    expect_installed(game, files);
    EXPECT_EQ(server.request_count(), 1 + files.size());  // one manifest, each file once
}

// While a launcher updates the folder, another one started on it in any spelling of the folder
// stops at once: it asks the server for nothing and changes nothing on disk. The first goes on
// undisturbed and records every file.
TEST(SynchronizeClientFiles, ASecondLauncherOnTheFolderStopsAtOnceWhileTheFirstGoesOn) {
    const bx_test::ScratchFolder folder(L"Juego de Kade Orvindal");  // long: it has a short name
    PatchServer server;
    const std::vector<Served> files = held_download_files();
    server.publish(files);
    const SyncRunner first(server, folder.path().native());
    ASSERT_TRUE(reaches_held_download(first, folder.path())) << first.said();
    const fs::path stateFile = folder / L".kadeorvindal-managed.json";
    const std::string state = file_bytes(stateFile);
    const std::size_t requests = server.request_count();

    const std::wstring& path = folder.path().native();
    std::vector<std::pair<const char*, std::wstring>> spellings = {
        {"as written", path},
        {"upper case", ascii_upper_text(path)},
        {"trailing separator", path + L"\\"},
        {"extended length", L"\\\\?\\" + path},
        {"dot segments", path + L"\\.\\..\\" + folder.path().filename().native()},
    };
    if (const std::wstring alias = bx_test::short_path_of(path); !alias.empty()) {
        spellings.emplace_back("8.3 short name", alias);
    }
    for (const auto& [name, spelling] : spellings) {
        SCOPED_TRACE(name);
        const SyncRunner second(server, spelling);
        ASSERT_TRUE(second.finished_within(60000));
        EXPECT_EQ(second.exit_code(), 1u);
        EXPECT_EQ(second.said(), bx::kGameFolderBusyMessage);
        EXPECT_EQ(server.request_count(), requests);
        EXPECT_EQ(file_bytes(stateFile), state);
    }
    EXPECT_FALSE(first.finished_within(0));
    EXPECT_TRUE(fs::exists(folder / L"slow.bin.download"));

    server.open_gate("held");
    EXPECT_EQ(first.exit_code(), 0u) << first.said();
    expect_installed(folder.path(), files);
}

// A launcher killed while it holds the folder leaves no lock behind: the next one proceeds and
// completes. Also when another process still has the lock's mutex open as the holder dies, so
// that the system hands it on as abandoned instead of removing it.
TEST(SynchronizeClientFiles, ALauncherKilledWhileItUpdatesTheFolderLeavesNoLockBehind) {
    for (const bool watched : {false, true}) {
        SCOPED_TRACE(watched ? "mutex open elsewhere" : "mutex open nowhere else");
        ScratchGameFolder folder;
        PatchServer server;
        const std::vector<Served> files = held_download_files();
        server.publish(files);
        const SyncRunner first(server, folder.path().native());
        ASSERT_TRUE(reaches_held_download(first, folder.path())) << first.said();
        bx_test::OwnedHandle watcher;
        if (watched) {
            const std::wstring name = L"Global\\" + bx::game_folder_lock_name_of(folder.path());
            watcher = bx_test::OwnedHandle(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
            ASSERT_NE(watcher.get(), nullptr) << GetLastError();
        }
        first.kill();
        server.open_gate("held");

        const SyncRunner next(server, folder.path().native());
        EXPECT_EQ(next.exit_code(), 0u) << next.said();
        expect_installed(folder.path(), files);
    }
}

// The launcher's own executable lies in the game directory and the manifest names it in other
// letter case: refused before anything is fetched, retired or replaced.
TEST(SynchronizeClientFiles, AManifestCannotReplaceTheRunningLauncher) {
    ScratchGameFolder folder;
    PatchServer server;
    const fs::path launcher = folder / L"sync_runner.exe";
    fs::copy_file(beside_this_test(L"sync_runner.exe"), launcher);
    const std::string launcherBytes = file_bytes(launcher);
    const std::string state = add_retirable_file(folder);
    server.publish({{"x.bin", "x"}, {"SYNC_RUNNER.EXE", "evil"}});

    const SyncRunner runner(launcher, server.manifest_url(), folder.path().native());
    EXPECT_EQ(runner.exit_code(), 1u);
    EXPECT_EQ(server.request_count(), 1u);  // the manifest only
    EXPECT_EQ(file_bytes(launcher), launcherBytes);
    EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state);
    EXPECT_EQ(file_bytes(folder / L"gone.bin"), "gone");
    EXPECT_FALSE(fs::exists(folder / L"x.bin"));

    // Named by its 8.3 short name: the same file.
    const std::string alias = short_name_of(launcher);
    if (alias.empty()) return;
    server.publish({{"x.bin", "x"}, {alias, "evil"}});
    const SyncRunner second(launcher, server.manifest_url(), folder.path().native());
    EXPECT_EQ(second.exit_code(), 1u);
    EXPECT_EQ(file_bytes(launcher), launcherBytes);
    EXPECT_EQ(file_bytes(folder / L".kadeorvindal-managed.json"), state);
}

// The launcher may be ended at any moment, here in the middle of a download: the old file
// stays whole, and the next run completes and verifies.
TEST(SynchronizeClientFiles, AKillDuringADownloadIsRepairedByTheNextRun) {
    ScratchGameFolder folder;
    PatchServer server;
    const std::string target = pattern_bytes(65536, 14);
    write_bytes(folder / L"t.bin", "old bytes");
    server.publish({{"t.bin", target, "trickle=1"}});

    const SyncRunner runner(server, folder.path().native());
    // Wait until bytes of the body have reached the temporary file, then end the process.
    const fs::path partial = folder / L"t.bin.download";
    bool midway = false;
    for (int i = 0; i < 3000 && !midway; ++i) {
        std::error_code error;
        midway = fs::file_size(partial, error) > 0 && !error;
        if (!midway && runner.finished_within(10)) break;
    }
    runner.kill();
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
