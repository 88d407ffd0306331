#pragma once

#include "json/json.h"
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

// A record of a file the launcher wrote again, or found as the manifest lists it: it takes the
// manifest's spelling and digest; whether the launcher created the file stays as it was.
inline void update_record(ManagedFileRecord& record, std::string_view path,
                          std::string_view sha256) {
    record.path = std::string(path);
    record.sha256 = std::string(sha256);
}

// <directory>\.kadeorvindal-managed.json, absolute and lexically normal. No disk access.
std::filesystem::path managed_state_path(const std::filesystem::path& directory);

// Full path of a recorded file; throws when the path is unsafe, leaves the game directory
// or names the ownership state. gameDirectory is absolute and lexically normal.
std::filesystem::path resolve_managed_path(const std::filesystem::path& gameDirectory,
                                           std::string_view relativePath);
// The same for a folder whose checks are already worked out.
std::filesystem::path resolve_managed_path(const GameFolder& folder, std::string_view relativePath);

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

// Reads and checks the state file of the folder; empty when there is none. Every failure but a
// failed read (whose message names the file already) is "<state file's full path>: <reason>",
// of the reason's own kind: a JsonError for malformed JSON and wrongly typed values, a
// std::system_error for text that is not UTF-8, std::runtime_error for the rest.
IndexedState load_indexed_state(const GameFolder& folder);

// Checked records (no two for one file) with their index built afresh, for a state whose
// records moved (retirement keeps some of them).
IndexedState index_records(ManagedState records);

// The state file's text, handed to `put` piece by piece in the order it is written: the save
// streams it to the file, and no caller needs a buffer of its size.
template <class Put>
void put_state_text(const ManagedState& state, Put&& put) {
    put("{\n  \"schema\": 1,\n  \"files\": [");
    std::string escaped;  // reused: most paths need no escaping at all
    std::string_view separator = "\n";
    for (const ManagedFileRecord& record : state) {
        put(separator);
        put("    {\"path\": \"");
        if (json_escaped_size(record.path) == record.path.size()) {
            put(record.path);
        } else {
            escaped.clear();
            json_escape_append(escaped, record.path);
            put(escaped);
        }
        put("\", \"sha256\": \"");
        put(record.sha256);
        put(record.removeWhenUnlisted ? "\", \"removeWhenUnlisted\": true}"
                                      : "\", \"removeWhenUnlisted\": false}");
        separator = ",\n";
    }
    if (!state.empty()) {
        put("\n");
    }
    put("  ]\n}\n");
}

// Replaces the state file through "<state file>.tmp", flushed to disk before the move.
void save_managed_state(const std::filesystem::path& gameDirectory, const ManagedState& state);

// Records a file that the launcher has just moved into place and saves the state.
void record_managed_file(const std::filesystem::path& gameDirectory, std::string_view relativePath,
                         std::string_view sha256, bool existedBefore);

}  // namespace bx
