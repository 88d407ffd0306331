#include "launcher/sync/manifest.h"

#include "json/json.h"
#include "launcher/config/config_location.h"
#include "launcher/net/http.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/url.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/path_index.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>

namespace bx {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kCombinedUrlCapacity = 32768;
constexpr std::string_view kDownloadSuffix = ".download";

[[noreturn]] void refuse_unsafe_path(const std::string& path) {
    throw std::runtime_error(
        concat_message("Patch manifest contains an unsafe path: ", path.data(), path.size()));
}

// What checking every entry of one manifest shares: the manifest's URL, the game folder and the
// resolver's working buffer, allocated once rather than once per entry.
struct EntryChecks {
    const std::wstring& manifestUrl;
    const GameFolder& folder;
    std::wstring combined = std::wstring(kCombinedUrlCapacity, L'\0');
};

std::wstring resolve_download_url(EntryChecks& checks, const std::string& url) {
    const std::wstring relative = utf8_to_wide(url);
    // A reference that long cannot give a URL within the bound, and some resolvers answer it
    // with a wrong URL instead of an error.
    if (relative.size() >= kCombinedUrlCapacity) {
        throw std::runtime_error("Manifest contains an invalid download URL");
    }
    DWORD length = kCombinedUrlCapacity;
    // Some resolvers report success for a result that does not fit: the bound is checked too.
    if (UrlCombineW(checks.manifestUrl.c_str(), relative.c_str(), checks.combined.data(), &length,
                    0) != S_OK ||
        length >= kCombinedUrlCapacity) {
        throw std::runtime_error("Manifest contains an invalid download URL");
    }
    // A copy of its own length: the working buffer's capacity would stay with every entry.
    return std::wstring(checks.combined.data(), length);
}

// The entry of one element of "files". Its texts are taken over from the document rather than
// copied.
ManifestEntry checked_entry(JsonValue& element, EntryChecks& checks) {
    JsonValue* path = element.find("path");
    const JsonValue* url = element.find("url");
    const JsonValue* size = element.find("size");
    JsonValue* sha256 = element.find("sha256");
    if (path == nullptr || url == nullptr || size == nullptr || sha256 == nullptr) {
        throw std::runtime_error("Patch manifest file entry is incomplete");
    }
    ManifestEntry entry;
    entry.path = std::move(path->as_string());
    if (!is_safe_relative_path(entry.path) || has_windows_alias_segment(entry.path)) {
        refuse_unsafe_path(entry.path);
    }
    entry.size = size->as_integer();
    if (entry.size < 0) {
        throw std::runtime_error("Patch manifest contains a negative file size");
    }
    entry.sha256 = std::move(sha256->as_string());
    if (!is_sha256_hex(entry.sha256)) {
        throw std::runtime_error("Patch manifest contains an invalid SHA-256");
    }
    entry.url = resolve_download_url(checks, url->as_string());
    require_http_url(entry.url, "manifest download URL", false);
    entry.localPath = manifest_target(checks.folder, entry.path);
    return entry;
}

// The checked entries of a parsed manifest, in manifest order. The document is used up: each
// element is released as soon as its entry stands, so the two are never held whole together.
std::vector<ManifestEntry> checked_entries(JsonValue root, const std::wstring& manifestUrl,
                                           const GameFolder& folder) {
    const JsonValue* schema = root.find("schema");
    JsonValue* files = root.find("files");
    if (schema == nullptr) {
        throw std::runtime_error("Unsupported or incomplete patch manifest");
    }
    if (schema->as_integer() != 1 || files == nullptr) {
        throw std::runtime_error("Unsupported or incomplete patch manifest");
    }
    JsonArray& elements = files->as_array();
    std::vector<ManifestEntry> entries;
    entries.reserve(elements.size());
    EntryChecks checks{manifestUrl, folder};
    for (JsonValue& element : elements) {
        entries.push_back(checked_entry(element, checks));
        element = JsonValue();
    }
    return entries;
}

bool ends_with_download_suffix(std::string_view path) {
    return path.size() > kDownloadSuffix.size() &&
           ascii_iequals(path.substr(path.size() - kDownloadSuffix.size()), kDownloadSuffix);
}

// Two entries for one file (letter case folded as the file system folds it) would overwrite
// each other. So would an entry at or beneath another entry's download name, because a download
// is written to "<local path>.download" first.
void refuse_colliding_paths(const std::vector<ManifestEntry>& entries) {
    RelativePathIndex index;
    index.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!index.insert(entries[i].path, i)) {
            throw std::runtime_error("Patch manifest contains a duplicate path");
        }
    }
    for (const ManifestEntry& entry : entries) {
        std::string_view path = entry.path;
        for (;;) {
            if (ends_with_download_suffix(path) &&
                index.find(path.substr(0, path.size() - kDownloadSuffix.size())) !=
                    RelativePathIndex::npos) {
                throw std::runtime_error(concat_message(
                    "Patch manifest path is reserved for a download in progress: ",
                    entry.path.data(), entry.path.size()));
            }
            const std::size_t separator = path.find_last_of('/');
            if (separator == std::string_view::npos) {
                break;
            }
            path = path.substr(0, separator);
        }
    }
}

// Sorted by local path, as they are verified and downloaded, and checked against each other.
std::vector<ManifestEntry> ordered_entries(std::vector<ManifestEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
        return _wcsicmp(a.localPath.c_str(), b.localPath.c_str()) < 0;
    });
    refuse_colliding_paths(entries);
    return entries;
}

}  // namespace

fs::path manifest_target(const GameFolder& folder, const std::string& path) {
    const std::wstring relative = utf8_to_wide(path);
    switch (folder.judge(relative)) {
    case GameFolder::Refusal::none:
        return folder.full_path(relative);
    case GameFolder::Refusal::unsafe:
        // A short name or another alias of some other file.
        refuse_unsafe_path(path);
    case GameFolder::Refusal::escapes:
        throw std::runtime_error("Patch manifest path escapes the game directory");
    case GameFolder::Refusal::state:
        throw std::runtime_error("Patch manifest cannot replace launcher ownership state");
    case GameFolder::Refusal::launcher:
        throw std::runtime_error("Patch manifest cannot replace the running launcher");
    }
    throw std::logic_error("unknown path refusal");
}

std::vector<ManifestEntry> read_patch_manifest(JsonValue root, const std::wstring& manifestUrl,
                                               const GameFolder& folder) {
    return ordered_entries(checked_entries(std::move(root), manifestUrl, folder));
}

std::vector<ManifestEntry> fetch_patch_manifest(const LauncherConfig& config,
                                                const GameFolder& folder) {
    JsonValue root;
    {
        // Parsed where it was received, and released before the entries are built.
        const std::vector<char> body = http_get_body(config.patchManifestUrl);
        root = parse_json(std::string_view(body.data(), body.size()));
    }
    return read_patch_manifest(std::move(root), config.patchManifestUrl, folder);
}

}  // namespace bx
