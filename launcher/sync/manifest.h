#pragma once

#include "json/json.h"
#include "launcher/config/config.h"
#include "launcher/sync/game_folder.h"

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

// Checks a whole parsed manifest and returns its entries sorted by local path, taking the
// texts over from the document. Any defect throws and rejects the whole manifest. Relative
// download URLs are resolved against manifestUrl; no entry may name one of the folder's
// reserved files (the ownership state, the running launcher).
std::vector<ManifestEntry> read_patch_manifest(JsonValue root, const std::wstring& manifestUrl,
                                               const GameFolder& folder);

// GETs config.patchManifestUrl, parses it where it was received and reads it as above.
std::vector<ManifestEntry> fetch_patch_manifest(const LauncherConfig& config,
                                                const GameFolder& folder);

// Where the file of a manifest path (UTF-8, already a safe relative path) lands. Refused with the
// manifest's messages when Windows would open something outside the game directory, an alias of
// another name, the ownership state file or its ".tmp", or the running launcher. The answer
// reflects the disk at the call: a file that an 8.3 alias names may exist only later in a
// synchronisation, so it is asked again right before each download is moved into place.
std::filesystem::path manifest_target(const GameFolder& folder, const std::string& path);

}  // namespace bx
