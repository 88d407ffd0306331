#pragma once

#include "launcher/sync/game_folder.h"
#include "launcher/sync/path_index.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// One game file that the launcher wrote itself.
struct ManagedFileRecord {
    std::string path;    // UTF-8, relative to the game directory, '/'-separated, as the manifest spelled it
    std::string sha256;  // 64 hexadecimal digits in the case the manifest used
    bool removeWhenUnlisted = false;  // the launcher created the file, so it may remove it again
};

using ManagedState = std::vector<ManagedFileRecord>;

// <directory>\.kadeorvindal-managed.json, absolute and lexically normal. No disk access.
std::filesystem::path managed_state_path(const std::filesystem::path& directory);

// Full path of a recorded file; throws when the path is unsafe, leaves the game directory
// or names the ownership state. gameDirectory is absolute and lexically normal.
std::filesystem::path resolve_managed_path(const std::filesystem::path& gameDirectory,
                                           std::string_view relativePath);
// The same for a folder whose checks are already worked out.
std::filesystem::path resolve_managed_path(const GameFolder& folder, std::string_view relativePath);

// The state file's text exactly as it is written.
std::string managed_state_text(const ManagedState& state);

// Reads and checks the state file; empty when there is none. gameDirectory is absolute and
// lexically normal.
ManagedState load_managed_state(const std::filesystem::path& gameDirectory);

// A loaded state with the index its duplicate check builds anyway: each record's position by
// its path. The index refers to the records' own texts, so the state is moved, never copied,
// and the records are changed only after the last lookup.
struct IndexedState {
    IndexedState() = default;
    IndexedState(IndexedState&&) = default;
    IndexedState& operator=(IndexedState&&) = default;
    IndexedState(const IndexedState&) = delete;
    IndexedState& operator=(const IndexedState&) = delete;

    ManagedState records;
    RelativePathIndex positions;
};

// load_managed_state for a folder whose checks are already worked out.
IndexedState load_indexed_state(const GameFolder& folder);

// Checked records (no two for one file) with their index built afresh, for a state whose
// records moved (retirement keeps some of them).
IndexedState index_records(ManagedState records);

// Replaces the state file through "<state file>.tmp", flushed to disk before the move.
void save_managed_state(const std::filesystem::path& gameDirectory, const ManagedState& state);

// Records a file that the launcher has just moved into place and saves the state.
void record_managed_file(const std::filesystem::path& gameDirectory, std::string_view relativePath,
                         std::string_view sha256, bool existedBefore);

}  // namespace bx
