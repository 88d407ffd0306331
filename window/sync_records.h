// The synchronisation's progress and summary records, as the window reads them.
#pragma once

#if __has_include("launcher/sync.h")
#include "launcher/sync.h"
#else
// Until the synchronisation service is part of the tree, the window builds against the two
// records it reads; the definitions match the service's own.
#include <cstdint>
#include <string>
#include <vector>

namespace bx {

struct PatchProgress {
    std::wstring message;
    std::int32_t currentFile = 0;
    std::int32_t fileCount = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

struct SyncSummary {
    std::uint32_t downloadedCount = 0;
    std::int32_t removedCount = 0;
    std::vector<std::wstring> keptFiles;
};

}  // namespace bx
#endif
