#pragma once

#include "launcher/config/config.h"
#include "launcher/sync/progress.h"

#include <cstdint>
#include <string>

namespace bx {

// The end report's text: "El juego está al día." or "Descarga completa.", then the sentences on
// removed and kept files when there were any.
std::wstring sync_completion_message(std::uint32_t downloadedCount, std::int32_t removedCount,
                                     std::size_t keptCount);

// Brings the game directory in line with the patch manifest at config.patchManifestUrl:
// retires unlisted launcher-owned files, verifies every listed file by size and SHA-256,
// downloads and replaces what differs and records it as launcher-owned. Holds the folder's
// lock throughout: while another launcher synchronises the same folder it stops at once with
// kGameFolderBusyMessage, having fetched and changed nothing. Stops at the first failure (an
// exception); work completed before it stays. Reports to `progress` when set.
SyncSummary synchronize_client_files(const LauncherConfig& config, const ProgressCallback& progress);

}  // namespace bx
