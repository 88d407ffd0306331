// A play or download/verify request, run on a worker thread of its own: synchronisation,
// login, settings, game start, then exactly one WM_APP_OPERATION_DONE to the window. The
// worker reaches the window only by posting.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "launcher/config/config.h"
#include "launcher/sync/progress.h"

namespace bx {

// Everything the worker owns; the window keeps no part of it.
struct OperationRequest {
    LauncherConfig configuration;
    HWND window = nullptr;
    std::wstring userName;  // trimmed
    std::wstring password;  // as typed; wiped before the result is posted, and on destruction
    bool remember = false;
    bool play = false;

    OperationRequest() = default;
    ~OperationRequest();
    OperationRequest(const OperationRequest&) = delete;
    OperationRequest& operator=(const OperationRequest&) = delete;
};

// The synchronisation's progress callback: a heap copy of each report, posted to the window
// as WM_APP_PROGRESS (freed here when the post fails). Holds only the window handle, so it
// fits in a std::function without an allocation of its own.
struct ProgressForwarder {
    HWND window;
    void operator()(const PatchProgress& progress) const;
};

// A progress report of a step that counts no files or bytes.
void post_step_text(HWND window, const std::wstring& text);

// The worker's body. Every standard exception becomes the failed result's text.
void run_operation(OperationRequest& request) noexcept;

// Starts run_operation on a detached thread that owns the request. Throws std::system_error
// when no thread can be started; the request (and its password) is then wiped and freed.
void start_operation_thread(std::unique_ptr<OperationRequest> request);

}  // namespace bx
