#include "bare_loops.h"

#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <winhttp.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace bench {
namespace {

[[noreturn]] void fail(const char* call, unsigned long code) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed with %lu", call, code);
    throw std::runtime_error(text);
}

void check_nt(NTSTATUS status, const char* call) {
    if (status < 0) fail(call, static_cast<unsigned long>(status));
}

struct File {
    HANDLE handle;
    explicit File(HANDLE h) : handle(h) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct Internet {
    HINTERNET handle;
    explicit Internet(HINTERNET h, const char* call) : handle(h) {
        if (!h) fail(call, GetLastError());
    }
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
    ~Internet() { WinHttpCloseHandle(handle); }
};

struct Provider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    Provider() { check_nt(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                          "BCryptOpenAlgorithmProvider"); }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    ~Provider() { BCryptCloseAlgorithmProvider(handle, 0); }
};

std::string hex(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string hash_one(BCRYPT_ALG_HANDLE provider, const std::wstring& path, std::vector<char>& buffer,
                     std::uint64_t& bytes) {
    File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) fail("CreateFileW", GetLastError());
    BCRYPT_HASH_HANDLE hash = nullptr;
    check_nt(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    std::unique_ptr<void, decltype(&BCryptDestroyHash)> owned(hash, BCryptDestroyHash);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            fail("ReadFile", GetLastError());
        if (read == 0) break;
        bytes += read;
        check_nt(BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), read, 0),
                 "BCryptHashData");
    }
    unsigned char digest[32];
    check_nt(BCryptFinishHash(hash, digest, sizeof digest, 0), "BCryptFinishHash");
    return hex(digest, sizeof digest);
}

struct Url {
    std::wstring host;
    std::wstring path;
    INTERNET_PORT port = 80;
};

Url crack(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) fail("WinHttpCrackUrl", GetLastError());
    Url result;
    result.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    result.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) result.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    result.port = parts.nPort;
    return result;
}

void fetch_one(const std::wstring& url, const std::wstring& target, std::vector<char>& buffer,
               LoopResult& result) {
    const Url parts = crack(url);
    Internet session(WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0), "WinHttpOpen");
    Internet connection(WinHttpConnect(session.handle, parts.host.c_str(), parts.port, 0),
                        "WinHttpConnect");
    Internet request(WinHttpOpenRequest(connection.handle, L"GET", parts.path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0),
                     "WinHttpOpenRequest");
    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                            0, 0, 0))
        fail("WinHttpSendRequest", GetLastError());
    if (!WinHttpReceiveResponse(request.handle, nullptr)) fail("WinHttpReceiveResponse", GetLastError());
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &length, WINHTTP_NO_HEADER_INDEX))
        fail("WinHttpQueryHeaders", GetLastError());
    if (status < 200 || status > 299) fail("HTTP status", status);
    File out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out.handle == INVALID_HANDLE_VALUE) fail("CreateFileW(target)", GetLastError());
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available))
            fail("WinHttpQueryDataAvailable", GetLastError());
        if (available == 0) break;
        while (available > 0) {
            DWORD read = 0;
            const DWORD want = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
            if (!WinHttpReadData(request.handle, buffer.data(), want, &read))
                fail("WinHttpReadData", GetLastError());
            if (read == 0) break;
            DWORD written = 0;
            if (!WriteFile(out.handle, buffer.data(), read, &written, nullptr) || written != read)
                fail("WriteFile", GetLastError());
            result.bytes += read;
            ++result.chunks;
            available -= read;
        }
    }
}

}  // namespace

LoopResult hash_files(const std::vector<std::wstring>& paths, const std::vector<std::string>& expected) {
    LoopResult result;
    std::vector<char> buffer(kBlock);
    const double start = now_seconds();
    Provider provider;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string digest = hash_one(provider.handle, paths[i], buffer, result.bytes);
        if (!expected.empty() && digest != expected[i])
            throw std::runtime_error("digest mismatch for " + narrow(paths[i]));
        ++result.files;
    }
    result.seconds = now_seconds() - start;
    return result;
}

LoopResult fetch_files(const std::vector<std::wstring>& urls, const std::vector<std::wstring>& targets) {
    LoopResult result;
    std::vector<char> buffer(kBlock);
    const double start = now_seconds();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        fetch_one(urls[i], targets[i], buffer, result);
        ++result.files;
    }
    result.seconds = now_seconds() - start;
    return result;
}

std::uint64_t peak_working_set() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

double now_seconds() {
    static const double period = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1.0 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * period;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(size));
    return wide;
}

std::vector<std::vector<std::wstring>> read_table(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot open list " + narrow(path));
    std::vector<std::vector<std::wstring>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::wstring> row;
        std::size_t begin = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', begin);
            row.push_back(widen(line.substr(begin, tab == std::string::npos ? std::string::npos : tab - begin)));
            if (tab == std::string::npos) break;
            begin = tab + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void print_loop(const char* kind, int round, const LoopResult& result) {
    std::printf("{\"kind\":\"%s\",\"round\":%d,\"seconds\":%.6f,\"bytes\":%llu,\"files\":%llu,"
                "\"chunks\":%llu,\"peak\":%llu}\n",
                kind, round, result.seconds, static_cast<unsigned long long>(result.bytes),
                static_cast<unsigned long long>(result.files),
                static_cast<unsigned long long>(result.chunks),
                static_cast<unsigned long long>(peak_working_set()));
    std::fflush(stdout);
}

int guarded_main(const char* program, int (*run)(int, wchar_t**), int argc, wchar_t** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}

}  // namespace bench
