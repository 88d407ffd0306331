// The launcher's synchronisation beside the bare platform loops, in one process, one JSON line
// per run:
//   bench_sync verify URL GAMEDIR LIST ROUNDS    per round: bare BCrypt loop over LIST
//                                                (path TAB sha256), then a sync that must
//                                                download nothing
//   bench_sync download URL GAMEDIR LIST ROUNDS  per round: sync into an emptied GAMEDIR, then
//                                                the bare WinHTTP loop over LIST (url TAB
//                                                target; targets deleted afterwards)
//   bench_sync sync URL GAMEDIR                  one sync
// The progress callback only takes times and counts, so that it costs what a cheap receiver
// costs; the phases are told apart by the reports the synchronisation makes anyway.
#include "bare_loops.h"

#include "launcher/config/config.h"
#include "launcher/sync/sync.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace {

bool starts_with(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

struct Probe {
    double call = 0;
    double firstVerify = -1;
    std::uint64_t peakBeforeVerify = 0;  // after the manifest and the retirement step
    double firstDownload = -1;
    double end = -1;
    std::int32_t file = -1;
    double pre = 0;
    double lastChunk = 0;
    std::uint64_t lastDone = 0;
    double transfer = 0;
    double post = 0;
    std::vector<double> postPerFile;
    std::uint64_t reports = 0;
    std::uint64_t chunkReports = 0;
    std::uint64_t chunkMin = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t chunkMax = 0;

    void close_file(double t) {
        if (file < 0) return;
        transfer += lastChunk - pre;
        post += t - lastChunk;
        postPerFile.push_back(t - lastChunk);
    }

    void on(const bx::PatchProgress& p) {
        const double t = bench::now_seconds();
        if (++reports == 1) return;  // the start report
        if (starts_with(p.message, L"Verificando ")) {
            if (firstVerify < 0) {
                firstVerify = t;
                peakBeforeVerify = bench::peak_working_set();
            }
            return;
        }
        if (starts_with(p.message, L"Descargando ")) {
            if (p.currentFile != file) {  // the report before a file's transfer
                close_file(t);
                if (firstDownload < 0) firstDownload = t;
                file = p.currentFile;
                pre = lastChunk = t;
                lastDone = p.bytesDone;
                return;
            }
            const std::uint64_t chunk = p.bytesDone - lastDone;
            lastDone = p.bytesDone;
            chunkMin = std::min(chunkMin, chunk);
            chunkMax = std::max(chunkMax, chunk);
            ++chunkReports;
            lastChunk = t;
            return;
        }
        close_file(t);
        end = t;
    }

    // Mean after-transfer time per file over the first or last tenth of the files, in ms.
    double post_tenth_ms(bool last) const {
        if (postPerFile.empty()) return 0;
        const std::size_t n = std::max<std::size_t>(1, postPerFile.size() / 10);
        const auto begin = last ? postPerFile.end() - static_cast<std::ptrdiff_t>(n) : postPerFile.begin();
        double sum = 0;
        for (auto it = begin; it != begin + static_cast<std::ptrdiff_t>(n); ++it) sum += *it;
        return sum / static_cast<double>(n) * 1e3;
    }
};

void run_sync(const std::wstring& url, const std::filesystem::path& game, int round) {
    bx::LauncherConfig config;
    config.patchManifestUrl = url;
    config.gameDirectory = game;
    config.configDirectory = game.parent_path();
    Probe probe;
    const bx::ProgressCallback callback = [&probe](const bx::PatchProgress& p) { probe.on(p); };
    probe.call = bench::now_seconds();
    const bx::SyncSummary summary = bx::synchronize_client_files(config, callback);
    const double done = bench::now_seconds();
    const double afterManifest =
        probe.firstVerify >= 0 ? probe.firstVerify : probe.firstDownload >= 0 ? probe.firstDownload : probe.end;
    const double afterVerify = probe.firstDownload >= 0 ? probe.firstDownload : probe.end;
    std::error_code error;
    const auto stateBytes = std::filesystem::file_size(game / L".kadeorvindal-managed.json", error);
    std::printf(
        "{\"kind\":\"sync\",\"round\":%d,\"seconds\":%.6f,\"manifest_s\":%.6f,\"verify_s\":%.6f,"
        "\"download_s\":%.6f,\"transfer_s\":%.6f,\"post_s\":%.6f,\"post_first_ms\":%.4f,"
        "\"post_last_ms\":%.4f,\"end_s\":%.6f,\"reports\":%llu,\"chunk_reports\":%llu,"
        "\"chunk_min\":%llu,\"chunk_max\":%llu,\"downloaded\":%u,\"state_bytes\":%llu,\"peak\":%llu,"
        "\"peak_before_verify\":%llu}\n",
        round, done - probe.call, afterManifest - probe.call,
        probe.firstVerify >= 0 ? afterVerify - probe.firstVerify : 0.0,
        probe.firstDownload >= 0 ? probe.end - probe.firstDownload : 0.0, probe.transfer, probe.post,
        probe.post_tenth_ms(false), probe.post_tenth_ms(true), done - probe.end,
        static_cast<unsigned long long>(probe.reports), static_cast<unsigned long long>(probe.chunkReports),
        static_cast<unsigned long long>(probe.chunkReports ? probe.chunkMin : 0),
        static_cast<unsigned long long>(probe.chunkMax), summary.downloadedCount,
        static_cast<unsigned long long>(error ? 0 : stateBytes),
        static_cast<unsigned long long>(bench::peak_working_set()),
        static_cast<unsigned long long>(probe.peakBeforeVerify));
    std::fflush(stdout);
}

int run(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_sync verify|download|sync URL GAMEDIR [LIST ROUNDS]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const std::wstring url = argv[2];
    const std::filesystem::path game = argv[3];
    if (mode == L"sync") {
        run_sync(url, game, 0);
        return 0;
    }
    if (argc != 6) return 2;
    std::vector<std::wstring> first;
    std::vector<std::wstring> second;
    std::vector<std::string> digests;
    for (const auto& row : bench::read_table(argv[4])) {
        first.push_back(row.at(0));
        second.push_back(row.at(1));
        digests.push_back(bench::narrow(row.at(1)));
    }
    const int rounds = std::stoi(argv[5]);
    for (int round = 0; round < rounds; ++round) {
        if (mode == L"verify") {
            bench::print_loop("bare_hash", round, bench::hash_files(first, digests));
            run_sync(url, game, round);
        } else if (mode == L"download") {
            std::filesystem::remove_all(game);
            run_sync(url, game, round);
            bench::print_loop("bare_fetch", round, bench::fetch_files(first, second));
            for (const auto& target : second) DeleteFileW(target.c_str());
        } else {
            return 2;
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::guarded_main("bench_sync", run, argc, argv);
}
