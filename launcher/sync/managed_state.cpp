#include "launcher/sync/managed_state.h"

#include "json/json.h"
#include "launcher/platform/atomic_file.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"

#include <windows.h>

#include <exception>
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

// Refuses a recorded path as resolve_managed_path refuses it.
void check_record_path(const GameFolder& folder, std::string_view relativePath) {
    if (!is_safe_relative_path(relativePath) || has_windows_alias_segment(relativePath)) {
        throw_unsafe_record_path(relativePath);
    }
    switch (folder.judge(relativePath)) {
    case GameFolder::Refusal::none:
        return;
    case GameFolder::Refusal::unsafe:
        throw_unsafe_record_path(relativePath);
    default:
        throw std::runtime_error(kEscapes);
    }
}

// What goes in front of a failure's text so that the player or operator learns which file to
// rename or remove: the state file's full path, or nothing for a path that UTF-8 cannot spell.
std::string naming_prefix(const fs::path& statePath) {
    try {
        return path_utf8(statePath) + ": ";
    } catch (const std::exception&) {
        return {};
    }
}

// Rethrows the failure being handled with the state file's path in front of its text. The
// failure keeps its kind: a JSON error stays a JsonError, a conversion error keeps its code.
[[noreturn]] void rethrow_naming(const fs::path& statePath) {
    const std::string prefix = naming_prefix(statePath);
    if (prefix.empty()) {
        throw;
    }
    try {
        throw;
    } catch (const JsonError& error) {
        throw JsonError(prefix + error.what());
    } catch (const std::system_error& error) {
        // what() is "<call>: <the system's text>"; the new error adds that text itself again.
        std::string call = error.what();
        const std::string text = ": " + error.code().message();
        if (call.size() >= text.size() &&
            call.compare(call.size() - text.size(), text.size(), text) == 0) {
            call.resize(call.size() - text.size());
        }
        throw std::system_error(error.code(), prefix + call);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(prefix + error.what());
    }
}

// The records of a state file's text; throws, naming nothing, when the text is not a state.
IndexedState parse_state(const GameFolder& folder, std::string text) {
    JsonValue root = parse_json(text);
    text = std::string();  // released: the document holds all that is needed from here on
    JsonValue* schema = root.find("schema");
    JsonValue* files = root.find("files");
    if (schema == nullptr) {
        throw std::runtime_error(kIncomplete);
    }
    if (schema->as_integer() != 1 || files == nullptr) {
        throw std::runtime_error(kIncomplete);
    }

    IndexedState state;
    JsonArray& entries = files->as_array();
    state.records.reserve(entries.size());
    state.positions.reserve(entries.size());
    for (JsonValue& entry : entries) {
        JsonValue* path = entry.find("path");
        JsonValue* sha256 = entry.find("sha256");
        const JsonValue* remove = entry.find("removeWhenUnlisted");
        if (path == nullptr || sha256 == nullptr || remove == nullptr) {
            throw std::runtime_error("Patch ownership state entry is incomplete");
        }
        // The texts are taken over from the document, and each entry is released once read.
        std::string& pathText = path->as_string();
        std::string& digest = sha256->as_string();
        const bool removeWhenUnlisted = remove->as_bool();
        check_record_path(folder, pathText);
        if (!is_sha256_hex(digest)) {
            throw std::runtime_error("Patch ownership state contains an invalid SHA-256");
        }
        state.records.push_back({std::move(pathText), std::move(digest), removeWhenUnlisted});
        entry = JsonValue();
        if (!state.positions.insert(state.records.back().path, state.records.size() - 1)) {
            throw std::runtime_error("Patch ownership state contains a duplicate path");
        }
    }
    return state;
}

}  // namespace

fs::path managed_state_path(const fs::path& directory) {
    return absolute_path(join_path(directory, kManagedStateFileName));
}

fs::path resolve_managed_path(const fs::path& gameDirectory, std::string_view relativePath) {
    return resolve_managed_path(GameFolder(gameDirectory), relativePath);
}

fs::path resolve_managed_path(const GameFolder& folder, std::string_view relativePath) {
    check_record_path(folder, relativePath);
    return folder.full_path(utf8_to_wide(relativePath));
}

IndexedState load_indexed_state(const GameFolder& folder) {
    const fs::path statePath = managed_state_path(folder.directory());
    std::error_code error;
    const Presence presence = presence_of(statePath, error);
    if (presence == Presence::absent) {
        return {};
    }
    if (presence == Presence::unknown) {
        throw std::runtime_error(naming_prefix(statePath) +
                                 "Could not inspect patch ownership state: " + error.message());
    }
    std::error_code again;
    if (!fs::is_regular_file(fs::status(statePath, again)) || again) {
        throw std::runtime_error(naming_prefix(statePath) +
                                 "Patch ownership state is not a regular file");
    }
    // A file that cannot be opened or read is named by the read's own message.
    std::string text = read_file_bytes(statePath);
    try {
        return parse_state(folder, std::move(text));
    } catch (const std::exception&) {
        rethrow_naming(statePath);
    }
}

IndexedState index_records(ManagedState records) {
    IndexedState state;
    state.records = std::move(records);
    state.positions.reserve(state.records.size());
    for (std::size_t i = 0; i < state.records.size(); ++i) {
        state.positions.insert(state.records[i].path, i);
    }
    return state;
}

void save_managed_state(const fs::path& gameDirectory, const ManagedState& state) {
    const fs::path statePath = managed_state_path(gameDirectory);
    fs::create_directories(statePath.parent_path());
    // Through "<state>.tmp", flushed before the move, so that neither a failed save nor a power
    // cut leaves a broken state file that would block every later synchronisation. The text
    // goes to the file as it is made: a large state needs no buffer of its size.
    AtomicFileWriter writer(statePath, "patch ownership state",
                            "Could not save patch ownership state");
    put_state_text(state, [&writer](std::string_view piece) { writer.write(piece); });
    writer.commit();
}

void record_managed_file(const fs::path& gameDirectory, std::string_view relativePath,
                         std::string_view sha256, bool existedBefore) {
    const GameFolder folder(absolute_path(gameDirectory));
    check_record_path(folder, relativePath);
    if (!is_sha256_hex(sha256)) {
        throw std::invalid_argument("Managed patch SHA-256 is invalid");
    }
    IndexedState state = load_indexed_state(folder);
    const std::size_t found = state.positions.find(relativePath);
    if (found != RelativePathIndex::npos) {
        update_record(state.records[found], relativePath, sha256);
    } else {
        state.records.push_back({std::string(relativePath), std::string(sha256), !existedBefore});
    }
    save_managed_state(folder.directory(), state.records);
}

}  // namespace bx
