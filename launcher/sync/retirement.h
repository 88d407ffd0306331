#pragma once

#include "launcher/sync/game_folder.h"
#include "launcher/sync/managed_state.h"
#include "launcher/sync/progress.h"

#include <filesystem>
#include <string>
#include <vector>

namespace bx {

// Removes launcher-created files that the manifest no longer lists and that nobody changed
// since; every other owned file that left the manifest stays and is listed as kept. Owned
// records of unlisted files leave the ownership state. manifestPaths are UTF-8, '/'-separated.
SyncSummary retire_unlisted_files(const std::filesystem::path& gameDirectory,
                                  const std::vector<std::string>& manifestPaths);

// The same on a state already loaded for `folder`, which then holds the records that stay,
// indexed, so that the caller can go on with it without loading it again.
SyncSummary retire_unlisted_files(const GameFolder& folder, IndexedState& state,
                                  const std::vector<std::string>& manifestPaths);

}  // namespace bx
