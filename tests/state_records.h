// The ownership records a test expects on disk, read as the launcher reads them.
#pragma once

#include <filesystem>

#include "launcher/sync/game_folder.h"
#include "launcher/sync/managed_state.h"

namespace bx_test {

// The checked records of the state file in `gameDirectory`; empty when there is none.
inline bx::ManagedState load_state_records(const std::filesystem::path& gameDirectory) {
    return bx::load_indexed_state(bx::GameFolder(gameDirectory)).records;
}

}  // namespace bx_test
