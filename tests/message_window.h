#pragma once
// A message-only window of the test's thread, to receive what the launcher's threads post.

#include <windows.h>

namespace bx_test {

class MessageWindow {
public:
    MessageWindow()
        : handle_(CreateWindowExW(0, L"STATIC", L"receiver", 0, 0, 0, 10, 10, HWND_MESSAGE,
                                  nullptr, GetModuleHandleW(nullptr), nullptr)) {}
    ~MessageWindow() { destroy(); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND get() const { return handle_; }
    void destroy() {
        if (handle_ != nullptr) {
            DestroyWindow(handle_);
            handle_ = nullptr;
        }
    }

private:
    HWND handle_;
};

}  // namespace bx_test
