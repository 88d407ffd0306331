// The launcher's one way to turn a failed platform call into an exception.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace bx {

// Turns the calling thread's last-error code into an exception: the player's message for the
// known WinHTTP failures, a generic connection message for other WinHTTP codes, and a
// std::system_error carrying `call` for everything else. Call it right after the failed call.
[[noreturn]] void throw_last_error(std::string_view call);

// The same mapping for a code kept across a clean-up step.
[[noreturn]] void throw_error_code(DWORD code, std::string_view call);

// The result of a Win32 or WinHTTP call that reports failure as FALSE, 0 or NULL, passed on;
// a failure throws as throw_last_error does. `call` names the call in the message:
//     check(WinHttpReceiveResponse(request, nullptr), "WinHttpReceiveResponse");
template <class Result>
Result check(Result result, std::string_view call) {
    if (!result) {
        throw_last_error(call);
    }
    return result;
}

// For the CNG (BCrypt) calls, which return an NTSTATUS: a negative (warning or error) status
// throws std::runtime_error "<call> failed with NTSTATUS 0x<8 hex digits>"; success and
// informational statuses pass.
void throw_ntstatus(std::int32_t status, std::string_view call);

}  // namespace bx
