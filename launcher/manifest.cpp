#include "launcher/manifest.h"

#include "json/json.h"
#include "launcher/config_file.h"
#include "launcher/config_location.h"
#include "launcher/http.h"
#include "launcher/managed_state.h"
#include "launcher/path_checks.h"
#include "launcher/text.h"
#include "launcher/windows_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <unordered_map>

namespace bx {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kCombinedUrlCapacity = 32768;
constexpr std::wstring_view kDownloadSuffix = L".download";

struct ManifestChecks {
    const std::wstring& manifestUrl;
    const fs::path& gameDirectory;
    const fs::path& executablePath;
    fs::path openedDirectory;   // the game directory as Windows opens it
    fs::path openedExecutable;  // the executable as Windows opens it
};

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

bool same_text(const fs::path& left, const fs::path& right) {
    return _wcsicmp(left.c_str(), right.c_str()) == 0;
}

// Where the file will be written; refuses anything outside the game directory and the
// launcher's own files, judged both on the text and on what Windows will open.
fs::path local_path_for(const std::string& path, const ManifestChecks& checks) {
    const fs::path local =
        fs::absolute(checks.gameDirectory / utf8_to_wide(path)).lexically_normal();
    const fs::path opened = path_as_opened_below(local, checks.gameDirectory, checks.openedDirectory);
    if (!is_path_within(local, checks.gameDirectory) ||
        !is_path_within(opened, checks.openedDirectory)) {
        throw std::runtime_error("Patch manifest path escapes the game directory");
    }
    if (is_managed_state_working_path(local, checks.gameDirectory) ||
        is_managed_state_working_path(opened, checks.openedDirectory)) {
        throw std::runtime_error("Patch manifest cannot replace launcher ownership state");
    }
    if (same_text(local, checks.executablePath) || same_text(opened, checks.openedExecutable)) {
        throw std::runtime_error("Patch manifest cannot replace the running launcher");
    }
    // A short name or another alias of some other file.
    if (!same_path_text(text_below(opened, checks.openedDirectory),
                        text_below(local, checks.gameDirectory))) {
        refuse_unsafe_path(path);
    }
    return local;
}

ManifestEntry checked_entry(const JsonValue& element, const ManifestChecks& checks) {
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
    entry.url = resolve_download_url(checks.manifestUrl, url->as_string());
    require_http_url(entry.url, "manifest download URL", false);
    entry.localPath = local_path_for(entry.path, checks);
    return entry;
}

// A download is written to "<local path>.download" first: no entry may stand at, or beneath,
// another entry's download name, or one download would destroy another entry's file.
void refuse_download_names(const std::vector<ManifestEntry>& entries,
                           const fs::path& gameDirectory) {
    std::unordered_map<std::wstring, std::size_t> byPath;
    byPath.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        byPath.emplace(ascii_lowercase(entries[i].localPath.native()), i);
    }
    const std::size_t rootLength = gameDirectory.native().size();
    for (const ManifestEntry& entry : entries) {
        std::wstring key = ascii_lowercase(entry.localPath.native());
        while (key.size() > rootLength) {
            if (key.size() > kDownloadSuffix.size() &&
                key.compare(key.size() - kDownloadSuffix.size(), kDownloadSuffix.size(),
                            kDownloadSuffix) == 0 &&
                byPath.count(key.substr(0, key.size() - kDownloadSuffix.size())) != 0) {
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

std::vector<ManifestEntry> parse_patch_manifest(const std::string& text,
                                                const std::wstring& manifestUrl,
                                                const fs::path& gameDirectory,
                                                const fs::path& executablePath) {
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
        const ManifestChecks checks{manifestUrl, gameDirectory, executablePath,
                                    path_as_opened(gameDirectory), path_as_opened(executablePath)};
        for (const JsonValue& element : elements) {
            entries.push_back(checked_entry(element, checks));
        }
    }
    std::sort(entries.begin(), entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
        return _wcsicmp(a.localPath.c_str(), b.localPath.c_str()) < 0;
    });
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (same_text(entries[i - 1].localPath, entries[i].localPath)) {
            throw std::runtime_error("Patch manifest contains a duplicate path");
        }
    }
    refuse_download_names(entries, gameDirectory);
    return entries;
}

std::vector<ManifestEntry> fetch_patch_manifest(const LauncherConfig& config,
                                                const fs::path& gameDirectory) {
    const fs::path executable = executable_path();
    const std::vector<char> body = http_get_body(config.patchManifestUrl);
    return parse_patch_manifest(std::string(body.begin(), body.end()), config.patchManifestUrl,
                                gameDirectory, executable);
}

}  // namespace bx
