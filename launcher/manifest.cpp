#include "launcher/manifest.h"

#include "json/json.h"
#include "launcher/config_file.h"
#include "launcher/config_location.h"
#include "launcher/http.h"
#include "launcher/path_checks.h"
#include "launcher/text.h"
#include "launcher/windows_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <unordered_set>

namespace bx {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kCombinedUrlCapacity = 32768;
constexpr std::wstring_view kDownloadSuffixKey = L".DOWNLOAD";  // as file_name_key spells it

[[noreturn]] void refuse_unsafe_path(const std::string& path) {
    throw std::runtime_error(
        concat_message("Patch manifest contains an unsafe path: ", path.data(), path.size()));
}

std::wstring resolve_download_url(const std::wstring& manifestUrl, const std::string& url) {
    const std::wstring relative = utf8_to_wide(url);
    // A reference that long cannot give a URL within the bound, and some resolvers answer it
    // with a wrong URL instead of an error.
    if (relative.size() >= kCombinedUrlCapacity) {
        throw std::runtime_error("Manifest contains an invalid download URL");
    }
    std::wstring combined(kCombinedUrlCapacity, L'\0');
    DWORD length = kCombinedUrlCapacity;
    // Some resolvers report success for a result that does not fit: the bound is checked too.
    if (UrlCombineW(manifestUrl.c_str(), relative.c_str(), combined.data(), &length, 0) != S_OK ||
        length >= kCombinedUrlCapacity) {
        throw std::runtime_error("Manifest contains an invalid download URL");
    }
    // A copy of its own length: the working buffer's capacity would stay with every entry.
    return std::wstring(combined.data(), length);
}

ManifestEntry checked_entry(const JsonValue& element, const std::wstring& manifestUrl,
                            const GameFolder& folder) {
    const JsonValue* path = element.find("path");
    const JsonValue* url = element.find("url");
    const JsonValue* size = element.find("size");
    const JsonValue* sha256 = element.find("sha256");
    if (path == nullptr || url == nullptr || size == nullptr || sha256 == nullptr) {
        throw std::runtime_error("Patch manifest file entry is incomplete");
    }
    ManifestEntry entry;
    entry.path = path->as_string();
    if (!is_safe_relative_path(entry.path) || has_windows_alias_segment(entry.path)) {
        refuse_unsafe_path(entry.path);
    }
    entry.size = size->as_integer();
    if (entry.size < 0) {
        throw std::runtime_error("Patch manifest contains a negative file size");
    }
    entry.sha256 = sha256->as_string();
    if (!is_sha256_hex(entry.sha256)) {
        throw std::runtime_error("Patch manifest contains an invalid SHA-256");
    }
    entry.url = resolve_download_url(manifestUrl, url->as_string());
    require_http_url(entry.url, "manifest download URL", false);
    entry.localPath = manifest_target(folder, entry.path);
    return entry;
}

// Two entries for one file (letter case folded as the file system folds it) would overwrite
// each other. So would an entry at or beneath another entry's download name, because a download
// is written to "<local path>.download" first.
void refuse_colliding_paths(const std::vector<ManifestEntry>& entries,
                            const fs::path& gameDirectory) {
    std::unordered_set<std::wstring> keys;
    keys.reserve(entries.size());
    for (const ManifestEntry& entry : entries) {
        if (!keys.insert(file_name_key(text_below(entry.localPath, gameDirectory))).second) {
            throw std::runtime_error("Patch manifest contains a duplicate path");
        }
    }
    for (const ManifestEntry& entry : entries) {
        std::wstring key = file_name_key(text_below(entry.localPath, gameDirectory));
        for (;;) {
            if (key.size() > kDownloadSuffixKey.size() &&
                key.compare(key.size() - kDownloadSuffixKey.size(), kDownloadSuffixKey.size(),
                            kDownloadSuffixKey) == 0 &&
                keys.count(key.substr(0, key.size() - kDownloadSuffixKey.size())) != 0) {
                throw std::runtime_error(concat_message(
                    "Patch manifest path is reserved for a download in progress: ",
                    entry.path.data(), entry.path.size()));
            }
            const std::size_t separator = key.find_last_of(L'\\');
            if (separator == std::wstring::npos) {
                break;
            }
            key.resize(separator);
        }
    }
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

std::vector<ManifestEntry> parse_patch_manifest(const std::string& text,
                                                const std::wstring& manifestUrl,
                                                const fs::path& gameDirectory,
                                                const fs::path& executablePath) {
    return parse_patch_manifest(text, manifestUrl, GameFolder(gameDirectory, executablePath));
}

std::vector<ManifestEntry> parse_patch_manifest(const std::string& text,
                                                const std::wstring& manifestUrl,
                                                const GameFolder& folder) {
    std::vector<ManifestEntry> entries;
    {
        const JsonValue root = parse_json(text);
        const JsonValue* schema = root.find("schema");
        const JsonValue* files = root.find("files");
        if (schema == nullptr) {
            throw std::runtime_error("Unsupported or incomplete patch manifest");
        }
        if (schema->as_integer() != 1 || files == nullptr) {
            throw std::runtime_error("Unsupported or incomplete patch manifest");
        }
        const JsonArray& elements = files->as_array();
        entries.reserve(elements.size());
        for (const JsonValue& element : elements) {
            entries.push_back(checked_entry(element, manifestUrl, folder));
        }
    }
    std::sort(entries.begin(), entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
        return _wcsicmp(a.localPath.c_str(), b.localPath.c_str()) < 0;
    });
    refuse_colliding_paths(entries, folder.directory());
    return entries;
}

std::vector<ManifestEntry> fetch_patch_manifest(const LauncherConfig& config,
                                                const GameFolder& folder) {
    const std::vector<char> body = http_get_body(config.patchManifestUrl);
    return parse_patch_manifest(std::string(body.begin(), body.end()), config.patchManifestUrl,
                                folder);
}

}  // namespace bx
