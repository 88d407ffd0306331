#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/config/config.h"
#include "launcher/platform/unique.h"
#include "launcher/platform/url.h"

namespace bx {

namespace close_calls {
inline void close_internet(HINTERNET value) noexcept { WinHttpCloseHandle(value); }
}  // namespace close_calls

// A WinHTTP session, connection or request.
using UniqueInternet = Unique<NullEmptyTraits<HINTERNET, close_calls::close_internet>>;

// The three handles of one request, closed request first, then connection, then session (the
// reverse of their order here). Move-only: a copy would close the same handles twice.
struct HttpHandles {
    UniqueInternet session;
    UniqueInternet connection;
    UniqueInternet request;

    HttpHandles() noexcept = default;
    HttpHandles(HttpHandles&&) noexcept = default;
    // Assigning member by member would close the old session before its request.
    HttpHandles& operator=(HttpHandles&&) = delete;

    // Closes the three now, in that order.
    void close() noexcept {
        request.reset();
        connection.reset();
        session.reset();
    }
};

struct HttpResponse {
    std::uint32_t status = 0;  // as the server sent it, not judged
    std::vector<char> body;    // at most kMaxPostResponseBytes
};

inline constexpr std::size_t kMaxPostResponseBytes = 65536;

// GET with a 2xx answer: the handles come back positioned before the unread body.
HttpHandles http_get(const std::wstring& url);

// Reads the rest of a response body through `buffer`, at most `size` bytes at a time, and
// hands the byte count of each chunk to `take` as it arrives, until the body ends. The buffer
// is the caller's, so a large body costs no memory of its own.
void read_body_chunks(HINTERNET request, char* buffer, std::size_t size,
                      const std::function<void(std::size_t)>& take);

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
