#include "window/operation.h"

#include <exception>
#include <new>
#include <thread>
#include <utility>

#include "launcher/config/settings.h"
#include "launcher/game/game_launch.h"
#include "launcher/net/login.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/text.h"
#include "launcher/sync/sync.h"
#include "window/messages.h"
#include "window/texts.h"

namespace bx {

OperationRequest::~OperationRequest() { secure_wipe(password); }

void ProgressForwarder::operator()(const PatchProgress& progress) const {
    post_payload(window, WM_APP_PROGRESS, ProgressPayload(new PatchProgress(progress)));
}

void post_step_text(HWND window, const std::wstring& text) {
    ProgressPayload step(new PatchProgress);
    step->message = text;
    post_payload(window, WM_APP_PROGRESS, std::move(step));
}

namespace {

// The play request after the synchronisation: log in, remember the user when asked, start
// the game. Returns whether the window may close.
bool log_in_and_start_game(const OperationRequest& request, const SyncSummary& summary) {
    const LauncherConfig& config = request.configuration;
    post_step_text(request.window, L"Iniciando sesi\u00f3n\u2026");
    const std::uint32_t channel = login(config, request.userName, request.password);

    post_step_text(request.window, L"Abriendo el juego\u2026");
    LauncherSettings settings;
    settings.savedUsername = request.remember ? request.userName : std::wstring();
    settings.rememberUsername = request.remember;
    save_settings(settings);

    launch_game(config, request.userName, request.password, channel);
    return config.closeAfterLaunch && summary.keptFiles.empty();
}

}  // namespace

void run_operation(OperationRequest& request) noexcept {
    ResultPayload result(new (std::nothrow) OperationResult);
    SyncSummary summary;
    try {
        if (!request.configuration.patchManifestUrl.empty()) {
            summary = synchronize_client_files(request.configuration,
                                               ProgressForwarder{request.window});
        }
        if (request.play) {
            const bool closeWindow = log_in_and_start_game(request, summary);
            if (result) {
                result->message = completion_message(summary, true);
                result->closeWindow = closeWindow;
            }
        } else if (result) {
            result->message = completion_message(summary, false);
        }
        if (result) {
            result->success = true;
        }
    } catch (const std::exception& failure) {
        if (result) {
            result->success = false;
            result->closeWindow = false;
            result->message = display_text(failure.what());
        }
    }
    secure_wipe(request.password);
    if (result) {
        post_payload_while_window_exists(request.window, WM_APP_OPERATION_DONE,
                                         std::move(result));
    }
}

void start_operation_thread(std::unique_ptr<OperationRequest> request) {
    std::thread([owned = std::move(request)] { run_operation(*owned); }).detach();
}

}  // namespace bx
