#pragma once

#include <windows.h>

#include <string_view>

namespace bx {

// Turns the calling thread's last-error code into an exception: the player's message for the
// known WinHTTP failures, a generic connection message for other WinHTTP codes, and a
// std::system_error carrying `call` for everything else. Call it right after the failed call.
[[noreturn]] void throw_last_error(std::string_view call);

// The same mapping for a code kept across a clean-up step.
[[noreturn]] void throw_error_code(DWORD code, std::string_view call);

}  // namespace bx
