// The launcher's URLs: the one check that a URL is one it may use, and its parts for a request,
// both from a single crack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bx {

struct UrlParts {
    std::wstring host;
    std::wstring pathAndQuery;  // path, then query and fragment as written; "/" when both are empty
    std::uint16_t port = 0;     // the scheme's default when the URL names none
    bool secure = false;        // HTTPS: the request carries WINHTTP_FLAG_SECURE
};

// The parts of an absolute HTTP or HTTPS URL with a host and without user name or password
// (read as written, up to a NUL: no escaping or decoding). Any other text throws
// std::runtime_error "<key> must be an absolute HTTP(S) URL without credentials".
UrlParts crack_url(const std::wstring& url, std::string_view key = "URL");

// The same check alone; the empty URL also passes when `allow_empty`.
void require_http_url(const std::wstring& url, std::string_view key, bool allow_empty);

}  // namespace bx
