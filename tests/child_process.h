#pragma once

// Processes of the test fixtures (tests/fixtures) that a test starts beside itself, and the
// handles it shares with them.

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

#include "launcher/platform/text.h"

namespace bx_test {

// The path of a program built beside the test executable.
inline std::filesystem::path beside_this_test(const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(buffer).parent_path() / name;
}

// Owns a kernel handle; move only.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) noexcept : handle_(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const noexcept { return handle_; }
    void reset() noexcept {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

// An anonymous pipe whose one end a child inherits: `childReads` chooses which.
struct InheritedPipe {
    OwnedHandle parentEnd;
    OwnedHandle childEnd;

    explicit InheritedPipe(bool childReads) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!CreatePipe(&read, &write, &inherit, 0)) {
            throw std::runtime_error("test could not create a pipe");
        }
        OwnedHandle readEnd(read);
        OwnedHandle writeEnd(write);
        parentEnd = std::move(childReads ? writeEnd : readEnd);
        childEnd = std::move(childReads ? readEnd : writeEnd);
        SetHandleInformation(parentEnd.get(), HANDLE_FLAG_INHERIT, 0);
    }
};

// A child process, ended at the latest with the object. Given `input`, `output` or `error`, it
// gets them as its standard streams (all inheritable; the test's own standard error when no
// `error` is given); otherwise it inherits nothing.
class ChildProcess {
public:
    explicit ChildProcess(std::wstring commandLine, HANDLE input = nullptr,
                          HANDLE output = nullptr, HANDLE error = nullptr) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        const bool redirect = input != nullptr || output != nullptr || error != nullptr;
        if (redirect) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = input;
            startup.hStdOutput = output;
            startup.hStdError = error != nullptr ? error : GetStdHandle(STD_ERROR_HANDLE);
        }
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, redirect ? TRUE : FALSE,
                            CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
            throw std::runtime_error("test could not start a fixture program: " +
                                     std::to_string(GetLastError()));
        }
        CloseHandle(process.hThread);
        process_ = OwnedHandle(process.hProcess);
    }
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool finished_within(DWORD milliseconds) const {
        return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
    }
    void kill() const {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), INFINITE);
    }
    DWORD exit_code() const {
        WaitForSingleObject(process_.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    OwnedHandle process_;
};

// Everything that arrives on a pipe until its writers have all closed it.
inline std::string read_to_end(HANDLE pipe) {
    std::string text;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    return text;
}

// A file held open by a process of its own (fixtures/file_holder), reading and sharing only
// reading, as a virus scanner or a backup tool may: it can be read, but not replaced.
class HeldFile {
public:
    // Returns once the file is held.
    explicit HeldFile(const std::filesystem::path& file)
        : input_(true), output_(false),
          holder_(L"\"" + beside_this_test(L"file_holder.exe").native() + L"\" \"" +
                      file.native() + L"\"",
                  input_.childEnd.get(), output_.childEnd.get()) {
        input_.childEnd.reset();
        output_.childEnd.reset();  // so that the read below ends when the holder does
        std::string said;
        char c = 0;
        DWORD read = 0;
        while (said.size() < 5 && ReadFile(output_.parentEnd.get(), &c, 1, &read, nullptr) &&
               read == 1) {
            said += c;
        }
        if (said != "held\n") {
            throw std::runtime_error("test could not hold " + bx::path_utf8(file) +
                                     " (holder exit " + std::to_string(holder_.exit_code()) + ")");
        }
    }
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // Lets the file go: ends the holder's input and returns once the holder has exited.
    void release() {
        input_.parentEnd.reset();
        holder_.finished_within(INFINITE);
    }

private:
    InheritedPipe input_;
    InheritedPipe output_;
    ChildProcess holder_;
};

}  // namespace bx_test
