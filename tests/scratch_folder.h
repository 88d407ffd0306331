#pragma once

// A fresh folder under the temporary directory for one test, removed with everything in it
// when the test ends; plus the small file helpers the file tests share.

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "launcher/platform/unique.h"

namespace bx_test {

inline bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class ScratchFolder {
public:
    // With a subfolder name, path() is that subfolder, so that the test can see what lands
    // beside it in root().
    explicit ScratchFolder(const wchar_t* subfolder = nullptr) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        static std::atomic<unsigned> counter{0};
        root_ = std::filesystem::path(temp) /
                (L"bx-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++));
        path_ = subfolder != nullptr ? root_ / subfolder : root_;
        std::filesystem::create_directories(path_);
        path_ = std::filesystem::absolute(path_).lexically_normal();
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        // Read-only entries made by a test would stop the removal.
        for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::filesystem::remove_all(root_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path root_;
    std::filesystem::path path_;
};

// A game directory "game" inside a scratch folder of its own: escapes land in root().
class ScratchGameFolder : public ScratchFolder {
public:
    ScratchGameFolder() : ScratchFolder(L"game") {}
};

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("test could not write a file");
}

inline std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Deterministic content of any length.
inline std::string pattern_bytes(std::size_t size, unsigned seed = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + 3 + seed) % 251);
    }
    return bytes;
}

// The 8.3 short form of an existing path; empty when the volume gives it none of its own.
inline std::wstring short_path_of(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || path == buffer) return {};
    return buffer;
}

// Holds a file open with the given sharing (none by default), so that others cannot open,
// replace or delete it.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path, DWORD share = 0)
        : file_(bx::create_file(path.c_str(), GENERIC_READ, share, OPEN_EXISTING)) {
        if (!file_) throw std::runtime_error("test could not lock a file");
    }

private:
    bx::UniqueFile file_;
};

// Text of the exception that a callable throws, or "" when it throws nothing.
template <class F>
std::string thrown_text(F&& f) {
    try {
        f();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

}  // namespace bx_test
