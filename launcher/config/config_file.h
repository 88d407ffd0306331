#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "json/json.h"
#include "launcher/config/config.h"

namespace bx {

// Builds the configuration from the file's UTF-8 text: the defaults, overridden key by key, then
// the range, emptiness and URL rules. The first broken rule throws; no partial record escapes.
// `directory` is the folder of the file; it becomes the absolute, normal `configDirectory`.
LauncherConfig parse_launcher_config(const std::string& text,
                                     const std::filesystem::path& directory);

// The member `key` of an object, or null when absent. Throws JsonError
// "launcher configuration root must be an object" for any other kind.
const JsonValue* find_config_member(const JsonValue& object, std::string_view key);

// The member's text converted strictly to UTF-16, or `fallback` when the key is absent.
std::wstring read_string_member(const JsonValue& object, std::string_view key,
                                const std::wstring& fallback);

// The colour "#RRGGBB" under `key` as 0x00RRGGBB, or `current` when the key is absent.
// Throws JsonError "<key> must use #RRGGBB" for any other text.
std::uint32_t read_color(const JsonValue& colors, std::string_view key, std::uint32_t current);

}  // namespace bx
