#include "launcher/managed_state.h"

#include "json/json.h"
#include "launcher/atomic_file.h"
#include "launcher/path_checks.h"
#include "launcher/text.h"
#include "launcher/windows_path.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>

namespace bx {
namespace {

namespace fs = std::filesystem;

const char kIncomplete[] = "Patch ownership state is unsupported or incomplete";
const char kEscapes[] = "Managed patch state path escapes the game directory";

[[noreturn]] void throw_unsafe_record_path(std::string_view path) {
    throw std::runtime_error(
        concat_message("Managed patch state contains an unsafe path: ", path.data(), path.size()));
}

// The UTF-16 text of a recorded path, judged as resolve_managed_path judges it.
std::wstring checked_record_path(const GameFolder& folder, std::string_view relativePath) {
    if (!is_safe_relative_path(relativePath) || has_windows_alias_segment(relativePath)) {
        throw_unsafe_record_path(relativePath);
    }
    std::wstring relative = utf8_to_wide(relativePath);
    switch (folder.judge(relative)) {
    case GameFolder::Refusal::none:
        return relative;
    case GameFolder::Refusal::unsafe:
        throw_unsafe_record_path(relativePath);
    default:
        throw std::runtime_error(kEscapes);
    }
}

}  // namespace

fs::path managed_state_path(const fs::path& directory) {
    return absolute_path(join_path(directory, kManagedStateFileName));
}

bool same_relative_path(std::string_view left, std::string_view right) {
    const std::wstring first = utf8_to_wide(left);
    const std::wstring second = utf8_to_wide(right);
    return same_file_name(first, second);
}

std::wstring relative_path_key(std::string_view relativePath) {
    return file_name_key(utf8_to_wide(relativePath));
}

fs::path resolve_managed_path(const fs::path& gameDirectory, std::string_view relativePath) {
    return resolve_managed_path(GameFolder(gameDirectory), relativePath);
}

fs::path resolve_managed_path(const GameFolder& folder, std::string_view relativePath) {
    return folder.full_path(checked_record_path(folder, relativePath));
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

IndexedState load_indexed_state(const GameFolder& folder) {
    const fs::path statePath = managed_state_path(folder.directory());
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

    IndexedState state;
    const JsonArray& entries = files->as_array();
    state.records.reserve(entries.size());
    state.positions.reserve(entries.size());
    for (const JsonValue& entry : entries) {
        const JsonValue* path = entry.find("path");
        const JsonValue* sha256 = entry.find("sha256");
        const JsonValue* remove = entry.find("removeWhenUnlisted");
        if (path == nullptr || sha256 == nullptr || remove == nullptr) {
            throw std::runtime_error("Patch ownership state entry is incomplete");
        }
        ManagedFileRecord record{path->as_string(), sha256->as_string(), remove->as_bool()};
        const std::wstring relative = checked_record_path(folder, record.path);
        if (!is_sha256_hex(record.sha256)) {
            throw std::runtime_error("Patch ownership state contains an invalid SHA-256");
        }
        if (!state.positions.emplace(file_name_key(relative), state.records.size()).second) {
            throw std::runtime_error("Patch ownership state contains a duplicate path");
        }
        state.records.push_back(std::move(record));
    }
    return state;
}

ManagedState load_managed_state(const fs::path& gameDirectory) {
    return load_indexed_state(GameFolder(gameDirectory)).records;
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
    const GameFolder folder(absolute_path(gameDirectory));
    const std::wstring relative = checked_record_path(folder, relativePath);
    if (!is_sha256_hex(sha256)) {
        throw std::invalid_argument("Managed patch SHA-256 is invalid");
    }
    IndexedState state = load_indexed_state(folder);
    const auto found = state.positions.find(file_name_key(relative));
    if (found != state.positions.end()) {
        // The manifest's spelling now; whether the launcher created the file stays as it was.
        ManagedFileRecord& record = state.records[found->second];
        record.path = std::string(relativePath);
        record.sha256 = std::string(sha256);
    } else {
        state.records.push_back({std::string(relativePath), std::string(sha256), !existedBefore});
    }
    save_managed_state(folder.directory(), state.records);
}

}  // namespace bx
