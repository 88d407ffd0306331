#include "launcher/managed_state.h"

#include "json/json.h"
#include "launcher/atomic_file.h"
#include "launcher/path_checks.h"
#include "launcher/text.h"
#include "launcher/windows_path.h"

#include <windows.h>

#include <cwchar>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

namespace bx {
namespace {

namespace fs = std::filesystem;

const char kIncomplete[] = "Patch ownership state is unsupported or incomplete";
const char kEscapes[] = "Managed patch state path escapes the game directory";

[[noreturn]] void throw_unsafe_record_path(std::string_view path) {
    throw std::runtime_error(
        concat_message("Managed patch state contains an unsafe path: ", path.data(), path.size()));
}

// True when `text` is `name` or a path beneath it, ASCII letter case ignored.
bool is_or_lies_beneath(const std::wstring& text, const std::wstring& name) {
    if (_wcsicmp(text.c_str(), name.c_str()) == 0) {
        return true;
    }
    const std::wstring beneath = name + L"\\";
    return text.size() > beneath.size() &&
           _wcsnicmp(text.c_str(), beneath.c_str(), beneath.size()) == 0;
}

}  // namespace

fs::path managed_state_path(const fs::path& directory) {
    return fs::absolute(directory / kManagedStateFileName).lexically_normal();
}

bool same_relative_path(std::string_view left, std::string_view right) {
    const std::wstring first = utf8_to_wide(left);
    const std::wstring second = utf8_to_wide(right);
    return _wcsicmp(first.c_str(), second.c_str()) == 0;
}

std::wstring relative_path_key(std::string_view relativePath) {
    return ascii_lowercase(utf8_to_wide(relativePath));
}

bool is_managed_state_working_path(const fs::path& fullPath, const fs::path& gameDirectory) {
    const fs::path state = managed_state_path(gameDirectory);
    // Beneath either name too: a directory standing there would make every later save fail.
    return is_or_lies_beneath(fullPath.native(), state.native()) ||
           is_or_lies_beneath(fullPath.native(), temporary_path_for(state).native());
}

namespace {

// The checks of resolve_managed_path, with the game directory's opened form computed once by
// the caller: a state load checks every record against the same directory.
fs::path resolve_managed_path_below(const fs::path& gameDirectory, const fs::path& openedDirectory,
                                    std::string_view relativePath) {
    if (!is_safe_relative_path(relativePath) || has_windows_alias_segment(relativePath)) {
        throw_unsafe_record_path(relativePath);
    }
    const fs::path full =
        fs::absolute(gameDirectory / utf8_to_wide(relativePath)).lexically_normal();
    // Judge the file that Windows will open too, not only the text. The directory is taken in
    // its opened form as well, so that a short name in it (a temporary folder) changes nothing.
    const fs::path opened = path_as_opened_below(full, gameDirectory, openedDirectory);
    if (!is_path_within(full, gameDirectory) || is_managed_state_working_path(full, gameDirectory) ||
        !is_path_within(opened, openedDirectory) ||
        is_managed_state_working_path(opened, openedDirectory)) {
        throw std::runtime_error(kEscapes);
    }
    if (!same_path_text(text_below(opened, openedDirectory), text_below(full, gameDirectory))) {
        throw_unsafe_record_path(relativePath);
    }
    return full;
}

}  // namespace

fs::path resolve_managed_path(const fs::path& gameDirectory, std::string_view relativePath) {
    return resolve_managed_path_below(gameDirectory, path_as_opened(gameDirectory), relativePath);
}

std::string managed_state_text(const ManagedState& state) {
    std::string text = "{\n  \"schema\": 1,\n  \"files\": [";
    const char* separator = "\n";
    for (const ManagedFileRecord& record : state) {
        text += separator;
        text += "    {\"path\": \"";
        text += json_escape(record.path);
        text += "\", \"sha256\": \"";
        text += record.sha256;
        text += "\", \"removeWhenUnlisted\": ";
        text += record.removeWhenUnlisted ? "true" : "false";
        text += "}";
        separator = ",\n";
    }
    if (!state.empty()) {
        text += "\n";
    }
    text += "  ]\n}\n";
    return text;
}

ManagedState load_managed_state(const fs::path& gameDirectory) {
    const fs::path statePath = managed_state_path(gameDirectory);
    std::error_code error;
    const fs::file_status status = fs::status(statePath, error);
    if (status.type() == fs::file_type::not_found) {
        return {};
    }
    if (status.type() == fs::file_type::none && error) {
        throw std::runtime_error("Could not inspect patch ownership state: " + error.message());
    }
    std::error_code again;
    if (!fs::is_regular_file(fs::status(statePath, again)) || again) {
        throw std::runtime_error("Patch ownership state is not a regular file");
    }

    const JsonValue root = parse_json(read_file_bytes(statePath));
    const JsonValue* schema = root.find("schema");
    const JsonValue* files = root.find("files");
    if (schema == nullptr) {
        throw std::runtime_error(kIncomplete);
    }
    if (schema->as_integer() != 1 || files == nullptr) {
        throw std::runtime_error(kIncomplete);
    }

    ManagedState state;
    std::unordered_set<std::wstring> seen;
    const fs::path openedDirectory = path_as_opened(gameDirectory);
    for (const JsonValue& entry : files->as_array()) {
        const JsonValue* path = entry.find("path");
        const JsonValue* sha256 = entry.find("sha256");
        const JsonValue* remove = entry.find("removeWhenUnlisted");
        if (path == nullptr || sha256 == nullptr || remove == nullptr) {
            throw std::runtime_error("Patch ownership state entry is incomplete");
        }
        ManagedFileRecord record{path->as_string(), sha256->as_string(), remove->as_bool()};
        resolve_managed_path_below(gameDirectory, openedDirectory, record.path);
        if (!is_sha256_hex(record.sha256)) {
            throw std::runtime_error("Patch ownership state contains an invalid SHA-256");
        }
        if (!seen.insert(relative_path_key(record.path)).second) {
            throw std::runtime_error("Patch ownership state contains a duplicate path");
        }
        state.push_back(std::move(record));
    }
    return state;
}

void save_managed_state(const fs::path& gameDirectory, const ManagedState& state) {
    const fs::path statePath = managed_state_path(gameDirectory);
    fs::create_directories(statePath.parent_path());
    // Through "<state>.tmp", flushed before the move, so that neither a failed save nor a power
    // cut leaves a broken state file that would block every later synchronisation.
    write_file_atomically(statePath, managed_state_text(state), "patch ownership state");
}

void record_managed_file(const fs::path& gameDirectory, std::string_view relativePath,
                         std::string_view sha256, bool existedBefore) {
    const fs::path directory = fs::absolute(gameDirectory).lexically_normal();
    resolve_managed_path(directory, relativePath);
    if (!is_sha256_hex(sha256)) {
        throw std::invalid_argument("Managed patch SHA-256 is invalid");
    }
    ManagedState state = load_managed_state(directory);
    ManagedFileRecord* match = nullptr;
    for (ManagedFileRecord& record : state) {
        if (same_relative_path(record.path, relativePath)) {
            match = &record;
            break;
        }
    }
    if (match != nullptr) {
        match->path = std::string(relativePath);
        match->sha256 = std::string(sha256);
    } else {
        state.push_back({std::string(relativePath), std::string(sha256), !existedBefore});
    }
    save_managed_state(directory, state);
}

}  // namespace bx
