#include "launcher/net/http.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "launcher/platform/errors.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/text.h"

namespace bx {
namespace {

constexpr const wchar_t* kUserAgent = L"KadeOrvindalLauncher/1.0";
constexpr const wchar_t* kGetHeadersWithDecompression =
    L"Cache-Control: no-cache\r\nAccept-Encoding: gzip, deflate\r\n";
constexpr const wchar_t* kGetHeaders = L"Cache-Control: no-cache\r\n";
constexpr const wchar_t* kPostHeaders =
    L"Content-Type: application/json\r\nAccept: application/json\r\nCache-Control: no-store\r\n";
constexpr const char* kOversizedResponse =
    "The authentication server returned an oversized response";
constexpr std::uint64_t kMaxReservedBodyBytes = 64ull * 1024 * 1024;

struct Timeouts {
    int resolve;
    int connect;
    int send;
    int receive;
};

constexpr Timeouts kGetTimeouts{8000, 8000, 30000, 30000};

// Session, time-outs, connection and request, each handle owned from the line it is opened.
HttpHandles open_request(const UrlParts& parts, const wchar_t* verb, const Timeouts& timeouts) {
    HttpHandles handles;
    handles.session.reset(check(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0),
                                "WinHttpOpen"));
    // A refused time-out leaves WinHTTP's own, which is no reason to give up the request.
    WinHttpSetTimeouts(handles.session.get(), timeouts.resolve, timeouts.connect, timeouts.send,
                       timeouts.receive);
    handles.connection.reset(
        check(WinHttpConnect(handles.session.get(), parts.host.c_str(), parts.port, 0),
              "WinHttpConnect"));
    handles.request.reset(check(WinHttpOpenRequest(handles.connection.get(), verb,
                                                   parts.pathAndQuery.c_str(), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                   parts.secure ? WINHTTP_FLAG_SECURE : 0),
                                "WinHttpOpenRequest"));
    return handles;
}

void receive_response(HINTERNET request) {
    check(WinHttpReceiveResponse(request, nullptr), "WinHttpReceiveResponse");
}

std::uint32_t query_status(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    check(WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                              WINHTTP_NO_HEADER_INDEX),
          "WinHttpQueryHeaders(status)");
    return status;
}

// The body bytes WinHTTP can hand over now; 0 at the end of the body.
DWORD query_available(HINTERNET request) {
    DWORD available = 0;
    check(WinHttpQueryDataAvailable(request, &available), "WinHttpQueryDataAvailable");
    return available;
}

// Reads up to `size` body bytes into `into`; 0 at the end of the body.
DWORD read_data(HINTERNET request, void* into, DWORD size) {
    DWORD read = 0;
    check(WinHttpReadData(request, into, size, &read), "WinHttpReadData");
    return read;
}

// Appends the rest of the body, in the chunk sizes WinHTTP reports. A chunk that would take the
// body past `limit` is refused before it is read.
void read_body(HINTERNET request, std::vector<char>& body,
               std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    for (;;) {
        const DWORD available = query_available(request);
        if (available == 0) {
            return;
        }
        if (available > limit - body.size()) {
            throw std::runtime_error(kOversizedResponse);
        }
        const std::size_t held = body.size();
        body.resize(held + available);
        const DWORD read = read_data(request, body.data() + held, available);
        body.resize(held + read);
        if (read == 0) {
            return;
        }
    }
}

// Reads the rest of the body to its end and drops it. One small buffer serves every chunk, so a
// large or unannounced body (or one WinHTTP decompresses) costs no memory.
void discard_body(HINTERNET request) {
    char scratch[8192];
    read_body_chunks(request, scratch, sizeof scratch, [](std::size_t) {});
}

std::wstring post_headers(std::string_view authorization) {
    std::wstring headers = kPostHeaders;
    if (authorization.empty()) {
        return headers;
    }
    std::wstring value = utf8_to_wide(authorization);
    ScopedWipe wipe_value(value);
    static constexpr std::wstring_view kName = L"Authorization: ";
    std::wstring with_authorization;
    // Reserved once, so that no reallocation leaves a copy of the token behind.
    with_authorization.reserve(headers.size() + kName.size() + value.size() + 2);
    with_authorization.append(headers).append(kName).append(value).append(L"\r\n");
    return with_authorization;
}

}  // namespace

HttpHandles http_get(const std::wstring& url) {
    const UrlParts parts = crack_url(url);
    HttpHandles handles = open_request(parts, L"GET", kGetTimeouts);
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE;
    // Without WinHTTP's decompression the server must not be invited to compress.
    const bool decompresses =
        WinHttpSetOption(handles.request.get(), WINHTTP_OPTION_DECOMPRESSION, &decompression,
                         sizeof(decompression)) != FALSE;
    const wchar_t* headers = decompresses ? kGetHeadersWithDecompression : kGetHeaders;
    check(WinHttpSendRequest(handles.request.get(), headers, static_cast<DWORD>(-1),
                             WINHTTP_NO_REQUEST_DATA, 0, 0, 0),
          "WinHttpSendRequest");
    receive_response(handles.request.get());
    const std::uint32_t status = query_status(handles.request.get());
    if (status < 200 || status > 299) {
        throw std::runtime_error("El servidor respondió con el estado HTTP " +
                                 std::to_string(status) + ".");
    }
    return handles;
}

void read_body_chunks(HINTERNET request, char* buffer, std::size_t size,
                      const std::function<void(std::size_t)>& take) {
    const DWORD most = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    for (DWORD available = query_available(request); available != 0;
         available = query_available(request)) {
        while (available > 0) {
            const DWORD read = read_data(request, buffer, std::min(available, most));
            if (read == 0) {
                break;
            }
            take(read);
            available -= read;
        }
    }
}

std::vector<char> http_get_body(const std::wstring& url) {
    HttpHandles handles = http_get(url);
    std::vector<char> body;
    const std::uint64_t announced = query_content_length(handles.request.get());
    if (announced >= 1 && announced <= kMaxReservedBodyBytes) {
        body.reserve(static_cast<std::size_t>(announced));
    }
    read_body(handles.request.get(), body);
    handles.close();
    return body;
}

std::uint64_t parse_content_length(std::wstring_view text) noexcept {
    try {
        return std::stoull(std::wstring(text), nullptr, 10);
    } catch (...) {
        return 0;
    }
}

std::uint64_t query_content_length(HINTERNET request) noexcept {
    wchar_t buffer[64] = {};
    DWORD size = sizeof(buffer);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             buffer, &size, WINHTTP_NO_HEADER_INDEX)) {
        return 0;
    }
    const std::size_t units = size / sizeof(wchar_t);
    return parse_content_length(std::wstring_view(buffer, units < 64 ? units : 64));
}

HttpResponse http_post_json(const std::wstring& url, std::string_view body,
                            std::string_view authorization, std::int32_t timeoutSeconds) {
    const UrlParts parts = crack_url(url);
    const int timeout = timeoutSeconds * 1000;
    HttpHandles handles = open_request(parts, L"POST", Timeouts{timeout, timeout, timeout, timeout});
    // WinHTTP would otherwise resend the body and the Authorization header wherever a redirect
    // points, other hosts included; a 3xx answer is returned like any other status.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    check(WinHttpSetOption(handles.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                           sizeof(disabled)),
          "WinHttpSetOption(redirects)");
    std::wstring headers = post_headers(authorization);
    ScopedWipe wipe_headers(headers);
    const DWORD body_size = static_cast<DWORD>(body.size());
    check(WinHttpSendRequest(handles.request.get(), headers.c_str(),
                             static_cast<DWORD>(headers.size()),
                             body.empty() ? WINHTTP_NO_REQUEST_DATA
                                          : const_cast<char*>(body.data()),
                             body_size, body_size, 0),
          "WinHttpSendRequest");
    receive_response(handles.request.get());

    HttpResponse response;
    response.status = query_status(handles.request.get());
    const std::uint64_t announced = query_content_length(handles.request.get());
    if (announced > kMaxPostResponseBytes) {
        throw std::runtime_error(kOversizedResponse);
    }
    if (announced > 0) {
        response.body.reserve(static_cast<std::size_t>(announced));
    }
    read_body(handles.request.get(), response.body, kMaxPostResponseBytes);
    handles.close();
    return response;
}

bool check_server_status(const LauncherConfig& config) noexcept {
    if (config.statusUrl.empty()) {
        return false;
    }
    try {
        HttpHandles handles = http_get(config.statusUrl);
        discard_body(handles.request.get());
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace bx
