#pragma once

#include "launcher/config.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bx {

// One checked file entry of the patch manifest.
struct ManifestEntry {
    std::string path;    // UTF-8, '/'-separated, as the manifest wrote it
    std::wstring url;    // absolute download URL
    std::int64_t size = 0;
    std::string sha256;  // 64 hexadecimal digits in the manifest's letter case
    std::filesystem::path localPath;  // absolute, lexically normal, inside the game directory
};

// Checks the whole manifest text and returns its entries sorted by local path. Any defect
// throws and rejects the whole manifest. Relative download URLs are resolved against
// manifestUrl; gameDirectory is absolute and lexically normal; no entry may name
// executablePath (the running launcher).
std::vector<ManifestEntry> parse_patch_manifest(const std::string& text,
                                                const std::wstring& manifestUrl,
                                                const std::filesystem::path& gameDirectory,
                                                const std::filesystem::path& executablePath);

// GETs config.patchManifestUrl and checks it as above, against the running executable.
std::vector<ManifestEntry> fetch_patch_manifest(const LauncherConfig& config,
                                                const std::filesystem::path& gameDirectory);

}  // namespace bx
