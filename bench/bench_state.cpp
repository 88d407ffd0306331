// Where the ownership bookkeeping spends its time, on a game directory whose state file holds
// n records (the files exist), one JSON line per round:
//   bench_state GAMEDIR ROUNDS
// Per round: loading the state, reading and parsing its text alone (what the load costs before
// it checks a single record), resolving one record's full path, the path as Windows opens it,
// building the file's text, saving it, and recording one file that is already listed, which is
// what the synchronisation pays after every download.
#include "bare_loops.h"

#include "json/json.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/game_folder.h"
#include "launcher/sync/managed_state.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

// Mean seconds of `step` over the first `count` records.
template <typename Step>
double mean_over(const bx::ManagedState& state, std::size_t count, Step step) {
    const double start = bench::now_seconds();
    for (std::size_t i = 0; i < count; ++i) step(state[i]);
    return count ? (bench::now_seconds() - start) / static_cast<double>(count) : 0.0;
}

int run(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_state GAMEDIR ROUNDS\n");
        return 2;
    }
    const fs::path game = bx::absolute_path(argv[1]);
    const bx::GameFolder folder(game);
    const int rounds = std::stoi(argv[2]);
    for (int round = 0; round < rounds; ++round) {
        double t = bench::now_seconds();
        const bx::ManagedState state = bx::load_indexed_state(folder).records;
        const double load = bench::now_seconds() - t;
        if (state.empty()) throw std::runtime_error("the game directory has no ownership state");
        t = bench::now_seconds();
        {
            const bx::JsonValue document =
                bx::parse_json(bx::read_file_bytes(bx::managed_state_path(game)));
        }
        const double parse = bench::now_seconds() - t;
        const std::size_t sample = std::min<std::size_t>(state.size(), 200);
        const double resolve = mean_over(state, sample, [&](const bx::ManagedFileRecord& r) {
            bx::resolve_managed_path(folder, r.path);
        });
        const double opened = mean_over(state, sample, [&](const bx::ManagedFileRecord& r) {
            bx::path_as_opened(game / fs::path(bench::widen(r.path)));
        });
        t = bench::now_seconds();
        std::string text;
        bx::put_state_text(state, [&text](std::string_view piece) { text += piece; });
        const double build = bench::now_seconds() - t;
        t = bench::now_seconds();
        bx::save_managed_state(game, state);
        const double save = bench::now_seconds() - t;
        const bx::ManagedFileRecord& last = state.back();
        t = bench::now_seconds();
        bx::record_managed_file(game, last.path, last.sha256, !last.removeWhenUnlisted);
        const double record = bench::now_seconds() - t;
        std::printf("{\"kind\":\"state\",\"round\":%d,\"records\":%zu,\"bytes\":%zu,\"load_s\":%.6f,"
                    "\"parse_s\":%.6f,\"resolve_s\":%.8f,\"opened_s\":%.8f,\"text_s\":%.6f,"
                    "\"save_s\":%.6f,\"record_s\":%.6f,\"peak\":%llu}\n",
                    round, state.size(), text.size(), load, parse, resolve, opened, build, save, record,
                    static_cast<unsigned long long>(bench::peak_working_set()));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::guarded_main("bench_state", run, argc, argv);
}
