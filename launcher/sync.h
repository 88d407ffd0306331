#pragma once

#include "launcher/config.h"

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

// The end report's text: "El juego está al día." or "Descarga completa.", then the sentences on
// removed and kept files when there were any.
std::wstring sync_completion_message(std::uint32_t downloadedCount, std::int32_t removedCount,
                                     std::size_t keptCount);

using ProgressCallback = std::function<void(const PatchProgress&)>;

// Brings the game directory in line with the patch manifest at config.patchManifestUrl:
// retires unlisted launcher-owned files, verifies every listed file by size and SHA-256,
// downloads and replaces what differs and records it as launcher-owned. Stops at the first
// failure (an exception); work completed before it stays. Reports to `progress` when set.
SyncSummary synchronize_client_files(const LauncherConfig& config, const ProgressCallback& progress);

}  // namespace bx
