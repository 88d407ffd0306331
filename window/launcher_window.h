// The launcher's one window, from the window object to the end of its message loop.
#pragma once

#include <windows.h>

#include "launcher/config/config.h"

namespace bx {

// Builds the window object from the configuration (settings, GDI+, icon, hero picture,
// private fonts), registers the window class, creates and shows the main window and runs the
// message loop until WM_QUIT. Returns the exit code. Throws on a failed start (GDI+, the
// class, the window); everything built so far is released first.
int run_launcher_window(LauncherConfig config, HINSTANCE instance, int showCommand);

}  // namespace bx
