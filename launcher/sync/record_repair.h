#pragma once

#include "launcher/sync/managed_state.h"

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

namespace bx {

// Ownership records that fell behind their files. A download is moved into place before its
// record is saved, so a save that fails then (another program holds the state file, the disk is
// full, the launcher is ended) leaves the new file with the old version's digest on record.
// Retirement would take that unchanged file for one the player changed and keep it for ever.
// A file that verification finds exactly as the manifest lists it is the launcher's as listed,
// so its record takes the manifest's digest.
class RecordRepairs {
public:
    // `state` is the ownership state as retirement left it; it must outlive this object, and so
    // must the texts handed to up_to_date().
    explicit RecordRepairs(IndexedState& state) : state_(state) {}

    // A listed file that verification found up to date. Its record, when it has one whose
    // digest is another (letter case aside), is to take `sha256` and the manifest's spelling
    // `path`; whether the launcher may remove the file stays as it was. A file without a record
    // stays without: the launcher cannot know that it wrote it.
    void up_to_date(std::string_view path, std::string_view sha256);

    // Repairs the records and saves the state once; writes nothing when every record agreed.
    // A save that fails (another program holds the state file, the disk is full) stops
    // nothing: the files are as listed, the state file stays as it was, and the next run finds
    // the same records behind and tries again. The state's index no longer fits its records
    // afterwards.
    void save(const std::filesystem::path& gameDirectory);

private:
    struct Repair {
        std::size_t position;
        std::string_view path;
        std::string_view sha256;
    };

    IndexedState& state_;
    std::vector<Repair> repairs_;  // applied only after the last lookup, which needs the texts
};

}  // namespace bx
