#include "window/status_thread.h"

#include <new>
#include <thread>

#include "launcher/net/http.h"
#include "window/messages.h"

namespace bx {

void run_status_thread(HWND window, const LauncherConfig& config) noexcept {
    StatusPayload online(new (std::nothrow) bool(false));
    if (!online) {
        return;
    }
    *online = check_server_status(config);
    post_payload(window, WM_APP_SERVER_STATUS, std::move(online));
}

void start_status_thread(HWND window, const LauncherConfig& config) {
    std::thread([window, copy = config] { run_status_thread(window, copy); }).detach();
}

}  // namespace bx
