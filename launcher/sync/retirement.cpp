#include "launcher/sync/retirement.h"

#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/managed_state.h"
#include "launcher/sync/sha256.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace bx {
namespace {

namespace fs = std::filesystem;

// Whether an unlisted record's file is still exactly what the launcher wrote there.
bool unchanged_since_written(const fs::path& file, const ManagedFileRecord& record,
                             std::vector<char>& buffer) {
    std::error_code error;
    if (!fs::is_regular_file(fs::status(file, error)) || error) {
        return false;
    }
    try {
        return ascii_iequals(sha256_file(file, buffer), record.sha256);
    } catch (...) {
        // A file that cannot be hashed is kept rather than risked.
        return false;
    }
}

void remove_retired(const fs::path& file, const ManagedFileRecord& record) {
    std::error_code error;
    if (fs::remove(file, error) && !error) {
        return;
    }
    std::string message = concat_message("Could not remove retired managed patch ",
                                         record.path.data(), record.path.size());
    if (error) {
        message += ": " + error.message();
    }
    throw std::runtime_error(message);
}

}  // namespace

SyncSummary retire_unlisted_files(const fs::path& gameDirectory,
                                  const std::vector<std::string>& manifestPaths) {
    const GameFolder folder(absolute_path(gameDirectory));
    IndexedState state = load_indexed_state(folder);
    return retire_unlisted_files(folder, state, manifestPaths);
}

SyncSummary retire_unlisted_files(const GameFolder& folder, IndexedState& state,
                                  const std::vector<std::string>& manifestPaths) {
    SyncSummary summary;
    if (state.records.empty()) {
        return summary;
    }

    // "Still listed" is asked of the state's own index, one key per manifest path.
    std::vector<bool> listed(state.records.size(), false);
    for (const std::string& path : manifestPaths) {
        const std::size_t found = state.positions.find(path);
        if (found != RelativePathIndex::npos) {
            listed[found] = true;
        }
    }

    bool anyUnlisted = false;
    std::vector<char> buffer;
    for (std::size_t i = 0; i < state.records.size(); ++i) {
        if (listed[i]) {
            continue;
        }
        const ManagedFileRecord& record = state.records[i];
        const fs::path file = resolve_managed_path(folder, record.path);
        std::error_code error;
        const Presence presence = presence_of(file, error);
        if (presence == Presence::absent) {
            // Already gone.
        } else if (presence == Presence::unknown || !record.removeWhenUnlisted ||
                   !unchanged_since_written(file, record, buffer)) {
            // What cannot be inspected, what the player had, what the player changed.
            summary.keptFiles.push_back(utf8_to_wide(record.path));
        } else {
            remove_retired(file, record);
            ++summary.removedCount;
        }
        anyUnlisted = true;
    }
    if (anyUnlisted) {
        ManagedState kept;
        kept.reserve(static_cast<std::size_t>(std::count(listed.begin(), listed.end(), true)));
        for (std::size_t i = 0; i < state.records.size(); ++i) {
            if (listed[i]) {
                kept.push_back(std::move(state.records[i]));
            }
        }
        state = index_records(std::move(kept));
        save_managed_state(folder.directory(), state.records);
    }
    return summary;
}

}  // namespace bx
