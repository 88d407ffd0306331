#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/config/config.h"

namespace bx {

// What a request needs of one URL.
struct UrlParts {
    std::wstring host;
    std::wstring pathAndQuery;  // path, then query and fragment as written; "/" when both are empty
    std::uint16_t port = 0;     // the scheme's default when the URL names none
    bool secure = false;        // HTTPS: the request carries WINHTTP_FLAG_SECURE
};

// One owned WinHTTP handle. Storing a handle closes the one held before.
class WinHttpHandle {
public:
    WinHttpHandle() noexcept = default;
    explicit WinHttpHandle(HINTERNET handle) noexcept : handle_(handle) {}
    ~WinHttpHandle() { reset(); }
    WinHttpHandle(WinHttpHandle&& other) noexcept : handle_(other.release()) {}
    WinHttpHandle& operator=(WinHttpHandle&& other) noexcept;
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;

    WinHttpHandle& operator=(HINTERNET handle) noexcept {
        reset(handle);
        return *this;
    }
    HINTERNET get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    HINTERNET release() noexcept;
    void reset(HINTERNET handle = nullptr) noexcept;

private:
    HINTERNET handle_ = nullptr;
};

// The three handles of one request. Destruction closes request, then connection, then session.
// Move-only: a copy would close the same handles twice.
struct HttpHandles {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;

    HttpHandles() noexcept = default;
    ~HttpHandles() { close(); }
    HttpHandles(HttpHandles&& other) noexcept = default;
    HttpHandles& operator=(HttpHandles&& other) noexcept;
    HttpHandles(const HttpHandles&) = delete;
    HttpHandles& operator=(const HttpHandles&) = delete;

    void close() noexcept;
};

struct HttpResponse {
    std::uint32_t status = 0;  // as the server sent it, not judged
    std::vector<char> body;    // at most kMaxPostResponseBytes
};

inline constexpr std::size_t kMaxPostResponseBytes = 65536;

// Checks the URL (an absolute HTTP(S) URL without credentials) and splits it.
UrlParts crack_url(const std::wstring& url);

// GET with a 2xx answer: the handles come back positioned before the unread body.
HttpHandles http_get(const std::wstring& url);

// The whole body of a 2xx GET.
std::vector<char> http_get_body(const std::wstring& url);

// The response's Content-Length, 0 when it is absent or cannot be read. Never throws.
std::uint64_t query_content_length(HINTERNET request) noexcept;

// The Content-Length header text read as std::stoull reads it in base 10 (leading white space
// skipped, anything after the digits ignored); 0 when no number can be read or it is too big.
std::uint64_t parse_content_length(std::wstring_view text) noexcept;

// POST of a JSON body; every status is returned. `authorization` is the whole Authorization
// value (empty for none). No redirect is followed, so the body and the credentials reach only
// the URL given. An answer above kMaxPostResponseBytes throws.
HttpResponse http_post_json(const std::wstring& url, std::string_view body,
                            std::string_view authorization, std::int32_t timeoutSeconds);

// True when the configured statusUrl answers a GET with 2xx and its body can be read to its end.
// The body is read through a small fixed buffer and never held. Never throws; an empty
// statusUrl is false without any request.
bool check_server_status(const LauncherConfig& config) noexcept;

}  // namespace bx
