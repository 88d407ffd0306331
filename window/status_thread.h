// The background question whether the game server answers, asked once when the window is
// created; the answer reaches the window as WM_APP_SERVER_STATUS.
#pragma once

#include <windows.h>

#include "launcher/config/config.h"

namespace bx {

// The thread's body: probes statusUrl and posts the answer to `window` (freed here when the
// window is gone). Never throws.
void run_status_thread(HWND window, const LauncherConfig& config) noexcept;

// Starts the probe on a detached thread with its own copy of the configuration. Throws the
// standard library's std::system_error when no thread can be started.
void start_status_thread(HWND window, const LauncherConfig& config);

}  // namespace bx
