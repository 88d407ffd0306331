// The worker and the status thread as the window sees them: what they post, in which order,
// against the loopback server. Their bodies run on the test's thread, which owns a
// message-only window to receive the posts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "message_window.h"
#include "scratch_folder.h"
#include "test_server_client.h"
#include "window/messages.h"
#include "window/operation.h"
#include "window/status_thread.h"

namespace {

using bx_test::ServerTag;

// One private message as the window procedure would see it, payload already freed.
struct Received {
    UINT message = 0;
    std::wstring text;  // progress text or result message
    bool success = false;
    bool closeWindow = false;
    bool online = false;
    bx::PatchProgress progress;
};

std::vector<Received> take_all(HWND window) {
    std::vector<Received> all;
    MSG msg{};
    while (PeekMessageW(&msg, window, WM_APP_SERVER_STATUS, WM_APP_AUTO_DOWNLOAD, PM_REMOVE)) {
        Received r;
        r.message = msg.message;
        if (msg.message == WM_APP_PROGRESS) {
            const ProgressPayload payload = take_payload<ProgressPayload>(msg.lParam);
            r.progress = *payload;
            r.text = payload->message;
        } else if (msg.message == WM_APP_OPERATION_DONE) {
            const ResultPayload payload = take_payload<ResultPayload>(msg.lParam);
            r.success = payload->success;
            r.closeWindow = payload->closeWindow;
            r.text = payload->message;
        } else if (msg.message == WM_APP_SERVER_STATUS) {
            r.online = *take_payload<StatusPayload>(msg.lParam);
        }
        all.push_back(std::move(r));
    }
    return all;
}

class OperationTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(window_.get(), nullptr);
        request_.window = window_.get();
        request_.configuration.patchManifestUrl.clear();
        request_.configuration.statusUrl.clear();
        request_.configuration.loginUrl = server_.url("/files/session");
        request_.configuration.loginTimeoutSeconds = 10;
        request_.configuration.gameDirectory = folder_.path();
        request_.userName = L"ana";
        request_.password = L"se cret";
    }

    std::size_t requests_to(const std::string& method, const std::string& path) const {
        std::size_t count = 0;
        for (const bx_test::JournalEntry& entry : server_.journal()) {
            count += entry.method == method && entry.path == path ? 1 : 0;
        }
        return count;
    }

    bx_test::MessageWindow window_;
    ServerTag server_;
    bx_test::ScratchFolder folder_;
    bx::OperationRequest request_;
};

TEST_F(OperationTest, FailedLoginEndsWithItsTextAfterTheLoginStepAndWipesThePassword) {
    server_.store_file("session", "{}", "status=401&content_type=application/json");
    request_.play = true;

    bx::run_operation(request_);

    const std::vector<Received> posted = take_all(window_.get());
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].message, WM_APP_PROGRESS);
    EXPECT_EQ(posted[0].text, L"Iniciando sesi\u00f3n\u2026");
    EXPECT_EQ(posted[0].progress.fileCount, 0);
    EXPECT_EQ(posted[0].progress.bytesTotal, 0u);
    EXPECT_EQ(posted[1].message, WM_APP_OPERATION_DONE);
    EXPECT_FALSE(posted[1].success);
    EXPECT_FALSE(posted[1].closeWindow);
    EXPECT_EQ(posted[1].text, L"Usuario o contrase\u00f1a incorrectos.");
    EXPECT_TRUE(request_.password.empty());
    EXPECT_EQ(requests_to("POST", "/files/session/start"), 0u);
}

TEST_F(OperationTest, DownloadReportsProgressThenTheCompletionTextLast) {
    const std::string body = "bravo";
    server_.store_file("b.bin", body);
    server_.store_file("manifest.json",
                       "{\"schema\":1,\"files\":[{\"path\":\"b.bin\",\"url\":\"b.bin\",\"size\":5,"
                       "\"sha256\":\"f144a6907dc4284d1f9fe6a7d9b9ff53c02c1d07ba68f24d413d7ff7f757a782\"}]}",
                       "content_type=application/json");
    request_.configuration.patchManifestUrl = server_.url("/files/manifest.json");
    request_.play = false;

    bx::run_operation(request_);

    const std::vector<Received> posted = take_all(window_.get());
    ASSERT_GE(posted.size(), 2u);
    for (std::size_t i = 0; i + 1 < posted.size(); ++i) {
        EXPECT_EQ(posted[i].message, WM_APP_PROGRESS) << i;
    }
    EXPECT_EQ(posted.back().message, WM_APP_OPERATION_DONE);
    EXPECT_TRUE(posted.back().success) << std::string(posted.back().text.begin(),
                                                      posted.back().text.end());
    EXPECT_FALSE(posted.back().closeWindow);
    EXPECT_EQ(posted.back().text, L"\u00a1Descarga completa! Ya puedes iniciar sesi\u00f3n y jugar.");
    EXPECT_EQ(bx_test::file_bytes(folder_ / "b.bin"), body);
    EXPECT_EQ(requests_to("POST", "/files/session"), 0u);
}

TEST_F(OperationTest, ResultForADestroyedWindowIsDroppedWithoutWaiting) {
    window_.destroy();
    request_.play = false;
    bx::run_operation(request_);  // returns: nothing to post to, the result is freed
    EXPECT_TRUE(request_.password.empty());
}

// Progress reports can fill the window's queue; the result must still arrive once there is
// room again. The queue is filled on this thread, the worker runs on its own, and the queue
// is emptied only after the worker has had time to give up (which it must not do).
TEST_F(OperationTest, ResultWaitsForRoomInAFullQueue) {
    constexpr UINT kFiller = WM_APP + 100;
    bool full = false;
    for (int i = 0; i < 20000 && !full; ++i) {
        full = PostMessageW(window_.get(), kFiller, 0, 0) == 0;
    }
    if (!full) {
        MSG drained{};
        while (PeekMessageW(&drained, window_.get(), kFiller, kFiller, PM_REMOVE)) {
        }
        GTEST_SKIP() << "this system's message queue takes every post; nothing to wait for";
    }

    request_.play = false;
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(finished, nullptr);
    std::thread worker([this, finished] {
        bx::run_operation(request_);
        SetEvent(finished);
    });
    const bool gaveUp = WaitForSingleObject(finished, 2000) == WAIT_OBJECT_0;

    MSG msg{};
    bool received = false;
    const DWORD deadline = GetTickCount() + 60000;
    while (!received && GetTickCount() < deadline) {
        if (!PeekMessageW(&msg, window_.get(), 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
            continue;
        }
        received = msg.message == WM_APP_OPERATION_DONE;
    }
    worker.join();
    CloseHandle(finished);

    EXPECT_FALSE(gaveUp);
    ASSERT_TRUE(received);
    const ResultPayload result = take_payload<ResultPayload>(msg.lParam);
    EXPECT_TRUE(result->success);
    EXPECT_EQ(result->message, L"El juego est\u00e1 al d\u00eda. Ya puedes iniciar sesi\u00f3n.");
}

struct StatusCase {
    const char* name;
    const char* path;  // empty: no statusUrl
    bool online;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusThread : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusThread, PostsOneAnswer) {
    bx_test::MessageWindow window;
    ASSERT_NE(window.get(), nullptr);
    ServerTag server;
    bx::LauncherConfig config;
    config.statusUrl = *GetParam().path == '\0' ? std::wstring() : server.url(GetParam().path);

    bx::run_status_thread(window.get(), config);

    const std::vector<Received> posted = take_all(window.get());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message, WM_APP_SERVER_STATUS);
    EXPECT_EQ(posted[0].online, GetParam().online);
}

INSTANTIATE_TEST_SUITE_P(Answers, StatusThread,
                         testing::Values(StatusCase{"NoUrl", "", false},
                                         StatusCase{"NoContent", "/status/204", true},
                                         StatusCase{"NotFound", "/status/404", false},
                                         StatusCase{"ServerError", "/status/500", false}),
                         [](const testing::TestParamInfo<StatusCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(StatusThreadStart, ReportsFromItsOwnThread) {
    bx_test::MessageWindow window;
    ASSERT_NE(window.get(), nullptr);
    bx::LauncherConfig config;
    config.statusUrl.clear();
    bx::start_status_thread(window.get(), config);

    MSG msg{};
    const DWORD deadline = GetTickCount() + 60000;
    bool received = false;
    while (!received && GetTickCount() < deadline) {
        received = PeekMessageW(&msg, window.get(), WM_APP_SERVER_STATUS, WM_APP_SERVER_STATUS,
                                PM_REMOVE) != 0;
        if (!received) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
        }
    }
    ASSERT_TRUE(received);
    EXPECT_FALSE(*take_payload<StatusPayload>(msg.lParam));
}

}  // namespace
