// The launcher's one way to turn a failed platform call into an exception.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace bx {

// Turns the calling thread's last-error code into an exception: the player's message for the
// known WinHTTP failures, a generic connection message for other WinHTTP codes, and a
// std::system_error carrying `call` for everything else. Call it right after the failed call.
[[noreturn]] void throw_last_error(std::string_view call);

// The same mapping for a code kept across a clean-up step.
[[noreturn]] void throw_error_code(DWORD code, std::string_view call);

// The result types whose failure `check` can see, because it is their zero: a null pointer or
// handle (HWND, HINTERNET, the HANDLE of CreateMutexW, LPWSTR*), FALSE (BOOL, which is int), and
// a zero count or atom (int, UINT, DWORD, ATOM). LONG is left out on purpose: HRESULT, LSTATUS
// and NTSTATUS are all LONG, and for them 0 is success.
template <class Result>
concept FailsAsZero = std::is_pointer_v<Result> || std::is_same_v<Result, BOOL> ||
                      std::is_same_v<Result, UINT> || std::is_same_v<Result, DWORD> ||
                      std::is_same_v<Result, ATOM>;

// The result of a Win32 or WinHTTP call that reports failure as FALSE, 0 or NULL, passed on;
// a failure throws as throw_last_error does. `call` names the call in the message:
//     check(WinHttpReceiveResponse(request, nullptr), "WinHttpReceiveResponse");
// A HANDLE that fails as INVALID_HANDLE_VALUE has the same type as one that fails as NULL, so
// `check` cannot refuse it: CreateFileW is called only through create_file (unique.h), which
// puts its result into the owner that knows its empty value. Results whose failure is another
// special value (GetFileAttributesW, WaitForSingleObject) are compared where they are made.
template <FailsAsZero Result>
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
