// Start-up time of a window program, one JSON line per round:
//   startup_probe CLASS ROUNDS PROGRAM [ARGUMENTS...]
// From just before CreateProcessW to the moment the program's visible top-level window of
// CLASS and all its visible child windows have nothing left to paint and its thread has come
// back to its message loop (a WM_NULL sent to the window has been answered), so the last
// paint handler has returned. Then, two seconds after the window showed (or at once when the
// paint came later), the program's working set and peak working set are read, and the window
// is closed with WM_CLOSE.
#include "bare_loops.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

struct Process {
    PROCESS_INFORMATION info{};
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (info.hThread) CloseHandle(info.hThread);
        if (info.hProcess) CloseHandle(info.hProcess);
    }
};

std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring text = L"\"";
    for (wchar_t c : argument) {
        if (c == L'"') text += L'\\';
        text += c;
    }
    return text + L"\"";
}

HWND visible_window_of(const wchar_t* type, DWORD process) {
    for (HWND window = FindWindowExW(nullptr, nullptr, type, nullptr); window;
         window = FindWindowExW(nullptr, window, type, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

BOOL CALLBACK child_needs_paint(HWND child, LPARAM flag) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(flag) = true;
        return FALSE;
    }
    return TRUE;
}

bool needs_paint(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return true;
    bool pending = false;
    EnumChildWindows(window, child_needs_paint, reinterpret_cast<LPARAM>(&pending));
    return pending;
}

// What a program holds once its start-up is over, rather than what it briefly needed on the way.
constexpr double kSettleSeconds = 2.0;

struct WorkingSet {
    std::uint64_t current = 0;
    std::uint64_t peak = 0;
};

WorkingSet working_set_of(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return {};
    return {counters.WorkingSetSize, counters.PeakWorkingSetSize};
}

void one_round(const wchar_t* type, std::wstring commandLine, int round) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    Process child;
    const double start = bench::now_seconds();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child.info))
        throw std::runtime_error("CreateProcessW failed with " + std::to_string(GetLastError()));
    double created = -1;
    HWND window = nullptr;
    for (;;) {
        if (WaitForSingleObject(child.info.hProcess, 0) == WAIT_OBJECT_0)
            throw std::runtime_error("the program ended before it showed its window");
        if (bench::now_seconds() - start > 120)
            throw std::runtime_error("no painted window within 120 s");
        window = visible_window_of(type, child.info.dwProcessId);
        if (window) {
            if (created < 0) created = bench::now_seconds();
            if (!needs_paint(window)) {
                DWORD_PTR answer = 0;
                if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer) &&
                    !needs_paint(window))
                    break;
            }
        }
        Sleep(1);
    }
    const double painted = bench::now_seconds();
    while (bench::now_seconds() < created + kSettleSeconds) Sleep(10);
    const double settled = bench::now_seconds();
    const WorkingSet memory = working_set_of(child.info.hProcess);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(child.info.hProcess, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(child.info.hProcess, 1);
        WaitForSingleObject(child.info.hProcess, 5000);
    }
    std::printf("{\"kind\":\"startup\",\"round\":%d,\"seconds\":%.6f,\"visible_s\":%.6f,"
                "\"settled_s\":%.6f,\"working_set\":%llu,\"peak\":%llu}\n",
                round, painted - start, created - start, settled - start,
                static_cast<unsigned long long>(memory.current),
                static_cast<unsigned long long>(memory.peak));
    std::fflush(stdout);
}

int run(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_probe CLASS ROUNDS PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int i = 3; i < argc; ++i) commandLine += (i > 3 ? L" " : L"") + quoted(argv[i]);
    const int rounds = std::stoi(argv[2]);
    for (int round = 0; round < rounds; ++round) one_round(argv[1], commandLine, round);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::guarded_main("startup_probe", run, argc, argv);
}
