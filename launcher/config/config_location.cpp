#include "launcher/config/config_location.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <system_error>

#include "launcher/config/config_file.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"

namespace bx {
namespace {

constexpr const wchar_t* kSharedConfigName = L"Vidivezez.Azevizar.json";

// A status that cannot be read counts as absent; a directory counts as present.
bool is_present(const std::filesystem::path& path) {
    std::error_code error;
    return presence_of(path, error) == Presence::present;
}

std::filesystem::path resolve_against(const std::filesystem::path& base,
                                      const std::filesystem::path& path) {
    return absolute_path(join_path(base, path));
}

}  // namespace

std::filesystem::path executable_path() {
    std::wstring buffer(1024, L'\0');
    while (true) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            check(GetModuleFileNameW(nullptr, buffer.data(), size), "GetModuleFileNameW");
        if (length < size - 1) {
            buffer.resize(length);
            break;
        }
        // The name may have been cut: try again with twice the room.
        buffer.assign(buffer.size() * 2, L'\0');
    }
    return absolute_path(std::filesystem::path(buffer));
}

LauncherConfig load_launcher_config(const std::filesystem::path& given) {
    return load_launcher_config_for(given, executable_path());
}

LauncherConfig load_launcher_config_for(const std::filesystem::path& given,
                                        const std::filesystem::path& executable) {
    std::filesystem::path candidate;
    if (!given.empty()) {
        candidate = absolute_path(given);
    } else {
        candidate = executable;
        candidate.replace_extension(L".json");
        if (!is_present(candidate)) {
            const std::filesystem::path shared = join_path(executable.parent_path(), kSharedConfigName);
            if (is_present(shared)) candidate = shared;
        }
    }
    if (is_present(candidate)) {
        return parse_launcher_config(read_file_bytes(candidate), candidate.parent_path());
    }
    if (!given.empty()) {
        throw std::runtime_error("Launcher configuration was not found: " +
                                 path_utf8(candidate));
    }
    LauncherConfig defaults;
    defaults.configDirectory = executable.parent_path();
    return defaults;
}

std::filesystem::path game_directory_path(const LauncherConfig& config) {
    return resolve_against(config.configDirectory, config.gameDirectory);
}

bool game_executable_missing(const LauncherConfig& config) {
    std::error_code error;
    const std::filesystem::path executable =
        join_path(game_directory_path(config), config.gameExecutable);
    return std::filesystem::status(executable, error).type() !=
           std::filesystem::file_type::regular;
}

std::filesystem::path resolve_config_path(const LauncherConfig& config,
                                          const std::filesystem::path& path) {
    if (path.empty()) return {};
    return resolve_against(config.configDirectory, path);
}

}  // namespace bx
