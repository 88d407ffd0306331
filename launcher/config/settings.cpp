#include "launcher/config/settings.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <stdexcept>
#include <system_error>

#include "json/json.h"
#include "launcher/platform/atomic_file.h"
#include "launcher/platform/text.h"
#include "launcher/platform/unique.h"

namespace bx {
namespace {

template <class Pointer>
void free_co_task_memory(Pointer value) noexcept { CoTaskMemFree(value); }

// Memory that the shell hands out (SHGetKnownFolderPath and the like).
template <class Pointer>
using UniqueCoTaskMemory = Unique<NullEmptyTraits<Pointer, free_co_task_memory<Pointer>>>;

LauncherSettings read_settings(const std::filesystem::path& path) {
    const JsonValue root = parse_json(read_file_bytes(path));
    LauncherSettings settings;
    if (const JsonValue* remember = root.find("rememberUsername")) {
        settings.rememberUsername = remember->as_bool();
    }
    if (const JsonValue* name = root.find("savedUsername")) {
        settings.savedUsername = utf8_to_wide(name->as_string());
    }
    return settings;
}

}  // namespace

std::filesystem::path settings_file_path() {
    UniqueCoTaskMemory<PWSTR> folder;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put()))) {
        throw std::runtime_error("Could not locate LocalAppData");
    }
    std::filesystem::path path(folder.get());
    return path / L"KadeOrvindal" / L"launcher-settings.json";
}

LauncherSettings load_settings() noexcept {
    try {
        return load_settings_from(settings_file_path());
    } catch (...) {
        return {};
    }
}

LauncherSettings load_settings_from(const std::filesystem::path& path) noexcept {
    // Either the file's values or the full defaults, never a mixture.
    try {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::status(path, error))) return {};
        return read_settings(path);
    } catch (...) {
        return {};
    }
}

std::string format_settings(const LauncherSettings& settings) {
    std::string text = "{\n  \"savedUsername\": \"";
    text += json_escape(wide_to_utf8(settings.savedUsername));
    text += "\",\n  \"rememberUsername\": ";
    text += settings.rememberUsername ? "true" : "false";
    text += "\n}\n";
    return text;
}

void save_settings(const LauncherSettings& settings) {
    save_settings_to(settings, settings_file_path());
}

void save_settings_to(const LauncherSettings& settings, const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    // Composed first, so a name that cannot be converted touches no file.
    const std::string text = format_settings(settings);
    write_file_atomically(path, text, "settings", "Could not save launcher settings");
}

}  // namespace bx
