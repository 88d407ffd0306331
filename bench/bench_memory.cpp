// Where the memory of fetching and checking a patch manifest goes, one JSON line:
//   bench_memory URL GAMEDIR
// The program counts the bytes that operator new hands out, so each figure is what the
// launcher's own objects hold (heap overhead, Wine and the code are the rest of the working set):
// the body as received, the parsed document, the checked entries, and the highest count while
// fetch_patch_manifest runs; then the highest count while retirement loads the ownership state
// beside the entries, as the synchronisation does next; against the peak working set.
#include "bare_loops.h"

#include "json/json.h"
#include "launcher/config/config.h"
#include "launcher/config/config_location.h"
#include "launcher/net/http.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/game_folder.h"
#include "launcher/sync/manifest.h"
#include "launcher/sync/retirement.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string_view>
#include <vector>

namespace {

// Single-threaded here but for WinHTTP's own threads, which allocate through HeapAlloc, not
// operator new: plain counters suffice.
std::size_t g_live = 0;
std::size_t g_peak = 0;

void* counted(std::size_t size) {
    // The size is kept in front of the block, so that delete knows what it gives back.
    auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (block == nullptr) throw std::bad_alloc();
    *block = size;
    g_live += size;
    if (g_live > g_peak) g_peak = g_live;
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void uncounted(void* pointer) noexcept {
    if (pointer == nullptr) return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(pointer) - sizeof(std::max_align_t));
    g_live -= *block;
    std::free(block);
}

std::size_t restart_peak() {
    g_peak = g_live;
    return g_live;
}

int run(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_memory URL GAMEDIR\n");
        return 2;
    }
    bx::LauncherConfig config;
    config.patchManifestUrl = argv[1];
    const std::filesystem::path game = bx::absolute_path(argv[2]);
    const bx::GameFolder folder(game, bx::executable_path());

    // The parts one by one.
    std::size_t base = restart_peak();
    std::vector<char> body = bx::http_get_body(config.patchManifestUrl);
    const std::size_t bodyBytes = g_live - base;
    base = g_live;
    bx::JsonValue document = bx::parse_json(std::string_view(body.data(), body.size()));
    const std::size_t documentBytes = g_live - base;
    const std::size_t entryCount = document.find("files")->as_array().size();
    document = bx::JsonValue();
    std::vector<char>().swap(body);

    // The whole step as the synchronisation runs it.
    base = restart_peak();
    const double start = bench::now_seconds();
    std::vector<bx::ManifestEntry> entries = bx::fetch_patch_manifest(config, folder);
    const double seconds = bench::now_seconds() - start;
    const std::size_t entriesBytes = g_live - base;
    const std::size_t stepPeak = g_peak - base;

    // Retirement comes next, with the entries alive: it loads the whole ownership state.
    base = g_live;
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (const bx::ManifestEntry& entry : entries) paths.push_back(entry.path);
    const std::size_t pathsBytes = g_live - base;
    base = restart_peak();
    const double retireStart = bench::now_seconds();
    bx::retire_unlisted_files(game, paths);
    const double retireSeconds = bench::now_seconds() - retireStart;
    const std::size_t retirementPeak = g_peak - base;
    const std::size_t overallPeak = g_peak;

    std::printf("{\"kind\":\"memory\",\"entries\":%zu,\"body\":%zu,\"document\":%zu,"
                "\"entries_bytes\":%zu,\"step_peak\":%zu,\"step_s\":%.6f,\"paths_bytes\":%zu,"
                "\"retirement_peak\":%zu,\"retire_s\":%.6f,\"overall_peak\":%zu,"
                "\"working_set_peak\":%llu}\n",
                entryCount, bodyBytes, documentBytes, entriesBytes, stepPeak, seconds,
                pathsBytes, retirementPeak, retireSeconds, overallPeak,
                static_cast<unsigned long long>(bench::peak_working_set()));
    std::fflush(stdout);
    return entries.size() == entryCount ? 0 : 1;
}

}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* pointer) noexcept { uncounted(pointer); }
void operator delete[](void* pointer) noexcept { uncounted(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { uncounted(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { uncounted(pointer); }

int wmain(int argc, wchar_t** argv) {
    return bench::guarded_main("bench_memory", run, argc, argv);
}
