// The private messages by which the background threads report to the window, and the rule
// by which their payloads change owner: the poster owns a payload until PostMessageW
// succeeds, the window's handler from then on.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "launcher/sync/progress.h"

// lParam: heap bool, true when the server answered.
inline constexpr UINT WM_APP_SERVER_STATUS = WM_APP + 1;
// lParam: heap bx::PatchProgress.
inline constexpr UINT WM_APP_PROGRESS = WM_APP + 2;
// lParam: heap OperationResult; the worker's last message.
inline constexpr UINT WM_APP_OPERATION_DONE = WM_APP + 3;
// No payload: the window asks itself for the first-run download.
inline constexpr UINT WM_APP_AUTO_DOWNLOAD = WM_APP + 4;

struct OperationResult {
    bool success = false;
    bool closeWindow = false;  // set only by a successful play request
    std::wstring message;
};

inline void free_status_payload(bool* payload) noexcept { delete payload; }
inline void free_progress_payload(bx::PatchProgress* payload) noexcept { delete payload; }
inline void free_operation_result(OperationResult* payload) noexcept { delete payload; }

template <auto Free>
struct PayloadDeleter {
    template <typename T>
    void operator()(T* payload) const noexcept {
        Free(payload);
    }
};

using StatusPayload = std::unique_ptr<bool, PayloadDeleter<&free_status_payload>>;
using ProgressPayload =
    std::unique_ptr<bx::PatchProgress, PayloadDeleter<&free_progress_payload>>;
using ResultPayload = std::unique_ptr<OperationResult, PayloadDeleter<&free_operation_result>>;

// Hands the payload to the window. On failure (the window is gone or its queue is full) the
// payload is freed here and false is returned; on success the window owns it.
template <typename T, typename D>
bool post_payload(HWND window, UINT message, std::unique_ptr<T, D> payload) noexcept {
    if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(payload.get())) == 0) {
        return false;
    }
    payload.release();
    return true;
}

// For the one message that must not be lost: a full queue empties again, so the post is
// retried for as long as the window exists. The payload is freed when the window is gone.
template <typename T, typename D>
bool post_payload_while_window_exists(HWND window, UINT message,
                                      std::unique_ptr<T, D> payload) noexcept {
    while (IsWindow(window)) {
        if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(payload.get())) != 0) {
            payload.release();
            return true;
        }
        Sleep(20);
    }
    return false;
}

// The handler's side: the payload of a received message, freed when the handler ends on
// every path.
template <typename Payload>
Payload take_payload(LPARAM lParam) noexcept {
    return Payload(reinterpret_cast<typename Payload::pointer>(lParam));
}
