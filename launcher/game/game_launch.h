#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "launcher/config/config.h"

namespace bx {

// Starts gameExecutable (which must lie inside the game directory) in the game directory, with
// the launchArguments template filled in and quoted. Nothing waits for the game.
void launch_game(const LauncherConfig& config, std::wstring_view username,
                 std::wstring_view password, std::uint32_t channel);

// The game client's legacy password form: each UTF-16 unit (all must be below 256) as two
// lowercase hexadecimal digits, into the caller's empty `hex`, which the caller wipes
// (secure.h). A unit of 256 or more throws std::invalid_argument and leaves `hex` wiped.
void encode_legacy_password(std::wstring_view password, std::wstring& hex);

// The argument as it must stand in a command line for CommandLineToArgvW to read it back.
std::wstring quote_command_line_argument(std::wstring_view argument);

// The same into the caller's empty `quoted`, for an argument that holds a secret.
void quote_command_line_argument(std::wstring_view argument, std::wstring& quoted);

// Every occurrence of `pattern`, left to right, without searching the inserted text again. An
// empty pattern changes nothing.
std::wstring replace_all(std::wstring text, std::wstring_view pattern,
                         std::wstring_view replacement);

}  // namespace bx
