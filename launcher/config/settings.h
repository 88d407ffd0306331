#pragma once

#include <filesystem>
#include <string>

namespace bx {

// What the launcher keeps per Windows user. The password is never stored.
struct LauncherSettings {
    std::wstring savedUsername;
    bool rememberUsername = false;
};

// <LocalAppData>\KadeOrvindal\launcher-settings.json. Throws std::runtime_error
// "Could not locate LocalAppData" when the shell cannot give the folder.
std::filesystem::path settings_file_path();

// The saved settings, or the defaults on any failure at all (never throws).
LauncherSettings load_settings() noexcept;
LauncherSettings load_settings_from(const std::filesystem::path& path) noexcept;

// Writes the settings file (and its folder) through a flushed ".tmp" and one replacing move.
// Throws on any failure; the previous file then stays as it was.
void save_settings(const LauncherSettings& settings);
void save_settings_to(const LauncherSettings& settings, const std::filesystem::path& path);

// The file's exact bytes: four LF-terminated lines, UTF-8, no byte-order mark.
std::string format_settings(const LauncherSettings& settings);

}  // namespace bx
