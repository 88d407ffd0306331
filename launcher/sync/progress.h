// What a synchronisation reports while it runs and returns when it is done: the window turns
// the reports into its status line and progress bar, and the summary into its last message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bx {

// One progress report of a synchronisation; it lives only for the callback's call.
struct PatchProgress {
    std::wstring message;
    std::int32_t currentFile = 0;  // index from 0 of the file in hand
    std::int32_t fileCount = 0;    // files of the current phase; 0 when none are counted
    std::uint64_t bytesDone = 0;   // bytes received so far in this synchronisation
    std::uint64_t bytesTotal = 0;  // bytes to receive; 0 when none are counted
};

// What a synchronisation did.
struct SyncSummary {
    std::uint32_t downloadedCount = 0;
    std::int32_t removedCount = 0;       // retired files removed
    std::vector<std::wstring> keptFiles;  // retired files left on disk, "/"-separated
};

using ProgressCallback = std::function<void(const PatchProgress&)>;

}  // namespace bx
