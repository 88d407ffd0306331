#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "message_window.h"
#include "window/messages.h"

namespace {

// Counts its destructions, so a test sees a payload freed once, never twice.
struct CountedPayload {
    explicit CountedPayload(int& frees) : frees(frees) {}
    ~CountedPayload() { ++frees; }
    int& frees;
};

// Takes the next posted message of the given number from this thread's queue.
bool take_posted(HWND window, UINT message, MSG& received) {
    return PeekMessageW(&received, window, message, message, PM_REMOVE) != 0;
}

TEST(PrivateMessages, NumbersLieAboveWmApp) {
    EXPECT_EQ(WM_APP_SERVER_STATUS, 0x8001u);
    EXPECT_EQ(WM_APP_PROGRESS, 0x8002u);
    EXPECT_EQ(WM_APP_OPERATION_DONE, 0x8003u);
    EXPECT_EQ(WM_APP_AUTO_DOWNLOAD, 0x8004u);
}

TEST(PayloadOwnership, PostToADestroyedWindowFreesThePayloadOnce) {
    bx_test::MessageWindow window;
    ASSERT_NE(window.get(), nullptr);
    const HWND stale = window.get();
    window.destroy();

    int frees = 0;
    EXPECT_FALSE(post_payload(stale, WM_APP_PROGRESS, std::make_unique<CountedPayload>(frees)));
    EXPECT_EQ(frees, 1);
    EXPECT_FALSE(post_payload_while_window_exists(stale, WM_APP_OPERATION_DONE,
                                                  std::make_unique<CountedPayload>(frees)));
    EXPECT_EQ(frees, 2);

    MSG received{};
    EXPECT_FALSE(take_posted(stale, WM_APP_PROGRESS, received));
}

TEST(PayloadOwnership, SuccessfulPostHandsThePayloadToTheReceiver) {
    bx_test::MessageWindow window;
    ASSERT_NE(window.get(), nullptr);

    int frees = 0;
    auto payload = std::make_unique<CountedPayload>(frees);
    const CountedPayload* sent = payload.get();
    ASSERT_TRUE(post_payload(window.get(), WM_APP_PROGRESS, std::move(payload)));
    EXPECT_EQ(frees, 0);

    MSG received{};
    ASSERT_TRUE(take_posted(window.get(), WM_APP_PROGRESS, received));
    EXPECT_EQ(received.wParam, 0u);
    {
        auto taken = take_payload<std::unique_ptr<CountedPayload>>(received.lParam);
        EXPECT_EQ(taken.get(), sent);
        EXPECT_EQ(frees, 0);
    }
    EXPECT_EQ(frees, 1);
}

TEST(PayloadOwnership, ResultAndProgressTravelIntact) {
    bx_test::MessageWindow window;
    ASSERT_NE(window.get(), nullptr);

    ResultPayload result(new OperationResult);
    EXPECT_FALSE(result->success);
    EXPECT_FALSE(result->closeWindow);
    EXPECT_TRUE(result->message.empty());
    result->success = true;
    result->message = L"Juego iniciado.";
    ASSERT_TRUE(post_payload_while_window_exists(window.get(), WM_APP_OPERATION_DONE,
                                                 std::move(result)));

    ProgressPayload progress(new bx::PatchProgress);
    progress->message = L"Descargando";
    progress->bytesTotal = 10;
    ASSERT_TRUE(post_payload(window.get(), WM_APP_PROGRESS, std::move(progress)));

    StatusPayload status(new bool(true));
    ASSERT_TRUE(post_payload(window.get(), WM_APP_SERVER_STATUS, std::move(status)));

    MSG received{};
    ASSERT_TRUE(take_posted(window.get(), WM_APP_OPERATION_DONE, received));
    const ResultPayload takenResult = take_payload<ResultPayload>(received.lParam);
    EXPECT_TRUE(takenResult->success);
    EXPECT_EQ(takenResult->message, L"Juego iniciado.");

    ASSERT_TRUE(take_posted(window.get(), WM_APP_PROGRESS, received));
    const ProgressPayload takenProgress = take_payload<ProgressPayload>(received.lParam);
    EXPECT_EQ(takenProgress->message, L"Descargando");
    EXPECT_EQ(takenProgress->bytesTotal, 10u);

    ASSERT_TRUE(take_posted(window.get(), WM_APP_SERVER_STATUS, received));
    EXPECT_TRUE(*take_payload<StatusPayload>(received.lParam));
}

TEST(PayloadOwnership, DeletersAcceptNull) {
    free_status_payload(nullptr);
    free_progress_payload(nullptr);
    free_operation_result(nullptr);
    const StatusPayload none = take_payload<StatusPayload>(0);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
