#include "launcher/sync/record_repair.h"

#include "launcher/platform/path_checks.h"

#include <exception>

namespace bx {

void RecordRepairs::up_to_date(std::string_view path, std::string_view sha256) {
    const std::size_t found = state_.positions.find(path);
    if (found != RelativePathIndex::npos &&
        !ascii_iequals(state_.records[found].sha256, sha256)) {
        repairs_.push_back({found, path, sha256});
    }
}

void RecordRepairs::save(const std::filesystem::path& gameDirectory) {
    if (repairs_.empty()) {
        return;
    }
    for (const Repair& repair : repairs_) {
        update_record(state_.records[repair.position], repair.path, repair.sha256);
    }
    repairs_.clear();
    try {
        save_managed_state(gameDirectory, state_.records);
    } catch (const std::exception&) {
        // The save writes through a temporary file, so the old state file is whole.
    }
}

}  // namespace bx
