#pragma once

#include <filesystem>

#include "launcher/config/config.h"

namespace bx {

// The running executable's absolute, normal path.
std::filesystem::path executable_path();

// The configuration of this start: the file named by `given` (the "--config" path; empty when
// none was given), else "<executable name>.json", else "Vidivezez.Azevizar.json" beside the
// executable, else the built-in defaults with `configDirectory` set to the executable's folder.
LauncherConfig load_launcher_config(const std::filesystem::path& given);

// The same search for a given executable path (the wrapper passes executable_path()).
LauncherConfig load_launcher_config_for(const std::filesystem::path& given,
                                        const std::filesystem::path& executable);

// The absolute, normal game directory (a relative one is taken from `configDirectory`).
std::filesystem::path game_directory_path(const LauncherConfig& config);

// True unless a regular file is at the game executable's place; never fails on the file system.
bool game_executable_missing(const LauncherConfig& config);

// A branding path made absolute against `configDirectory`; an empty path stays empty.
std::filesystem::path resolve_config_path(const LauncherConfig& config,
                                          const std::filesystem::path& path);

}  // namespace bx
