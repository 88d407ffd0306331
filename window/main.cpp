// The program entry: process set-up, the configuration named on the command line, then the
// launcher window until it closes. A failed start ends in the start-up error box and exit
// code 1.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "launcher/config/config_location.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/text.h"
#include "launcher/platform/unique.h"
#include "window/launcher_window.h"
#include "window/texts.h"

namespace {

// The path after "--config", read from the process's own command line; empty without one.
std::filesystem::path configuration_path_argument() {
    int count = 0;
    bx::UniqueLocalMemory<wchar_t**> arguments(
        bx::check(CommandLineToArgvW(GetCommandLineW(), &count), "CommandLineToArgvW"));
    const std::vector<std::wstring> list(arguments.get(), arguments.get() + count);
    arguments.reset();  // released before the configuration is read
    return bx::find_config_argument(list);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Neither result matters: the manifest asks for the same awareness, and the standard
    // classes exist either way.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    try {
        bx::LauncherConfig config = bx::load_launcher_config(configuration_path_argument());
        return bx::run_launcher_window(std::move(config), instance, showCommand);
    } catch (const std::exception& failure) {
        MessageBoxW(nullptr, bx::display_text(failure.what()).c_str(),
                    L"Kade Orvindal - error al iniciar", MB_ICONERROR);
        return 1;
    }
}
