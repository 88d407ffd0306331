#include "launcher/game/game_launch.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "launcher/config/config_location.h"
#include "launcher/platform/ascii.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/text.h"
#include "launcher/platform/unique.h"
#include "launcher/platform/windows_path.h"

namespace bx {
namespace {

std::size_t count_occurrences(std::wstring_view text, std::wstring_view pattern) {
    std::size_t count = 0;
    for (std::size_t at = text.find(pattern); at != std::wstring_view::npos;
         at = text.find(pattern, at + pattern.size())) {
        ++count;
    }
    return count;
}

// One template item with its placeholders filled in, in the order user name, password,
// channel, into the caller's empty `expanded`. The capacity is reserved before the password
// goes in, so that no reallocation leaves a copy of it behind; the moves below hand that one
// buffer on.
void expand_item(const std::wstring& item, std::wstring_view username, std::wstring_view hex,
                 std::wstring_view channel, std::wstring& expanded) {
    expanded = replace_all(item, L"{username}", username);
    const std::size_t with_password =
        expanded.size() + count_occurrences(expanded, L"{password}") * hex.size();
    // "{channel}" is 9 units and its replacement at most 10.
    expanded.reserve(with_password + with_password / 9 + 1);
    expanded = replace_all(std::move(expanded), L"{password}", hex);
    expanded = replace_all(std::move(expanded), L"{channel}", channel);
}

// The whole command line into the caller's empty `command_line`. Every piece that may hold the
// password is made in place, in a string that is wiped: a short one lives inside its string
// object, and a copy of that object would be left unwiped.
void build_command_line(const std::filesystem::path& exe, const LauncherConfig& config,
                        std::wstring_view username, std::wstring_view hex, std::uint32_t channel,
                        std::wstring& command_line) {
    const std::wstring channel_text = std::to_wstring(channel);
    std::vector<std::wstring> quoted;
    // Reserved, so that no reallocation copies a short argument out of a wiped block.
    quoted.reserve(config.launchArguments.size() + 1);
    const ScopedWipe wipe_quoted(quoted);

    quoted.emplace_back();
    quote_command_line_argument(exe.native(), quoted.back());
    std::size_t total = quoted.back().size();
    for (const std::wstring& item : config.launchArguments) {
        std::wstring expanded;
        ScopedWipe wipe_expanded(expanded);
        expand_item(item, username, hex, channel_text, expanded);
        quoted.emplace_back();
        quote_command_line_argument(expanded, quoted.back());
        total += 1 + quoted.back().size();
    }
    command_line.reserve(total);
    command_line.append(quoted.front());
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        command_line.push_back(L' ');
        command_line.append(quoted[i]);
    }
}

}  // namespace

std::wstring replace_all(std::wstring text, std::wstring_view pattern,
                         std::wstring_view replacement) {
    if (pattern.empty()) {
        return text;
    }
    for (std::size_t at = text.find(pattern); at != std::wstring::npos;
         at = text.find(pattern, at + replacement.size())) {
        text.replace(at, pattern.size(), replacement);
    }
    return text;
}

void encode_legacy_password(std::wstring_view password, std::wstring& hex) {
    hex.reserve(password.size() * 2);
    for (wchar_t unit : password) {
        if (static_cast<unsigned>(unit) >= 256) {
            secure_wipe(hex);
            throw std::invalid_argument(
                "Password contains characters unsupported by the legacy game client");
        }
        hex.push_back(static_cast<wchar_t>(hex_digit(unit >> 4)));
        hex.push_back(static_cast<wchar_t>(hex_digit(unit)));
    }
}

std::wstring quote_command_line_argument(std::wstring_view argument) {
    std::wstring quoted;
    quote_command_line_argument(argument, quoted);
    return quoted;
}

void quote_command_line_argument(std::wstring_view argument, std::wstring& quoted) {
    if (argument.empty()) {
        quoted.assign(L"\"\"");
        return;
    }
    if (argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        quoted.assign(argument);
        return;
    }
    // At most every unit doubled plus the two quotes: reserved once, as the text may be secret.
    quoted.reserve(argument.size() * 2 + 2);
    quoted.push_back(L'"');
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
}

void launch_game(const LauncherConfig& config, std::wstring_view username,
                 std::wstring_view password, std::uint32_t channel) {
    const std::filesystem::path directory = game_directory_path(config);
    const std::filesystem::path exe = absolute_path(join_path(directory, config.gameExecutable));
    if (!is_path_within(exe, directory)) {
        throw std::runtime_error("gameExecutable escapes gameDirectory");
    }
    if (!std::filesystem::is_regular_file(std::filesystem::status(exe))) {
        throw std::runtime_error("Game executable was not found: " + path_utf8(exe));
    }
    std::wstring hex;
    ScopedWipe wipe_hex(hex);
    encode_legacy_password(password, hex);
    std::wstring command_line;
    ScopedWipe wipe_command_line(command_line);
    build_command_line(exe, config, username, hex, channel, command_line);
    std::wstring buffer;
    buffer.reserve(command_line.size());
    buffer.assign(command_line);
    ScopedWipe wipe_buffer(buffer);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    check(CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         directory.c_str(), &startup, &process),
          "CreateProcessW");
    // Nothing waits for the game.
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
}

}  // namespace bx
