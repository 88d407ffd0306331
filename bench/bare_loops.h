#pragma once

// The platform's own floor for what the launcher does: SHA-256 through BCrypt and HTTP GET
// through WinHTTP, with nothing of the launcher's around the calls. The benchmarks compare the
// launcher with these loops on the same files in the same process.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline constexpr std::size_t kBlock = 1048576;  // the launcher's read and receive block

struct LoopResult {
    double seconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
    std::uint64_t chunks = 0;  // ReadData calls that delivered bytes (downloads only)
};

// One provider for the whole loop; per file CreateFileW, ReadFile in 1 MiB blocks,
// BCryptHashData, BCryptFinishHash. Returns the time; the digests are checked by `expected`
// when it is not empty (lowercase hex, one per file).
LoopResult hash_files(const std::vector<std::wstring>& paths,
                      const std::vector<std::string>& expected);

// Per file its own session, connection and request (as the launcher opens them), then
// WinHttpQueryDataAvailable / WinHttpReadData of at most 1 MiB into one buffer, each chunk
// written at once with WriteFile to `targets[i]`.
LoopResult fetch_files(const std::vector<std::wstring>& urls,
                       const std::vector<std::wstring>& targets);

// PeakWorkingSetSize of this process (GetProcessMemoryInfo).
std::uint64_t peak_working_set();

double now_seconds();

// Lines of a UTF-8 list file, converted to UTF-16; a tab splits a line into columns.
std::vector<std::vector<std::wstring>> read_table(const std::wstring& path);

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

void print_loop(const char* kind, int round, const LoopResult& result);

// Runs a benchmark program's `run`; an exception becomes one line on stderr and exit code 1.
int guarded_main(const char* program, int (*run)(int, wchar_t**), int argc, wchar_t** argv);

}  // namespace bench
