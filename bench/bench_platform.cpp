// The bare platform loops on their own, one JSON line per round:
//   bench_platform hash LIST ROUNDS    LIST lines: windows-path TAB sha256
//   bench_platform fetch LIST ROUNDS   LIST lines: url TAB target-path (targets deleted after
//                                      each round, outside the timing)
#include "bare_loops.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int run(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_platform hash|fetch LIST ROUNDS\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const auto table = bench::read_table(argv[2]);
    const int rounds = std::stoi(argv[3]);
    std::vector<std::wstring> first;
    std::vector<std::wstring> second;
    std::vector<std::string> digests;
    for (const auto& row : table) {
        first.push_back(row.at(0));
        second.push_back(row.at(1));
        digests.push_back(bench::narrow(row.at(1)));
    }
    for (int round = 0; round < rounds; ++round) {
        if (mode == L"hash") {
            bench::print_loop("bare_hash", round, bench::hash_files(first, digests));
        } else if (mode == L"fetch") {
            bench::print_loop("bare_fetch", round, bench::fetch_files(first, second));
            for (const auto& target : second) DeleteFileW(target.c_str());
        } else {
            std::fprintf(stderr, "unknown mode\n");
            return 2;
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::guarded_main("bench_platform", run, argc, argv);
}
