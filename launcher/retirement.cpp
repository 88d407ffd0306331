#include "launcher/retirement.h"

#include "launcher/managed_state.h"
#include "launcher/path_checks.h"
#include "launcher/sha256.h"
#include "launcher/text.h"

#include <stdexcept>
#include <system_error>
#include <unordered_set>

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
    const fs::path directory = fs::absolute(gameDirectory).lexically_normal();
    const ManagedState state = load_managed_state(directory);
    SyncSummary summary;
    if (state.empty()) {
        return summary;
    }

    std::unordered_set<std::wstring> listed;
    listed.reserve(manifestPaths.size());
    for (const std::string& path : manifestPaths) {
        listed.insert(relative_path_key(path));
    }

    ManagedState kept;
    bool anyUnlisted = false;
    std::vector<char> buffer;
    for (const ManagedFileRecord& record : state) {
        if (listed.count(relative_path_key(record.path)) != 0) {
            kept.push_back(record);
            continue;
        }
        const fs::path file = resolve_managed_path(directory, record.path);
        std::error_code error;
        const fs::file_status status = fs::status(file, error);
        if (status.type() == fs::file_type::not_found) {
            // Already gone.
        } else if (status.type() == fs::file_type::none && error) {
            summary.keptFiles.push_back(utf8_to_wide(record.path));
        } else if (!record.removeWhenUnlisted || !unchanged_since_written(file, record, buffer)) {
            summary.keptFiles.push_back(utf8_to_wide(record.path));
        } else {
            remove_retired(file, record);
            ++summary.removedCount;
        }
        anyUnlisted = true;
    }
    if (anyUnlisted) {
        save_managed_state(directory, kept);
    }
    return summary;
}

}  // namespace bx
