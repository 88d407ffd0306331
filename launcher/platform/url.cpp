#include "launcher/platform/url.h"

#include <windows.h>
#include <winhttp.h>

#include <stdexcept>

namespace bx {

UrlParts crack_url(const std::wstring& url, std::string_view key) {
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof components;
    components.dwSchemeLength = static_cast<DWORD>(-1);
    components.dwHostNameLength = static_cast<DWORD>(-1);
    components.dwUserNameLength = static_cast<DWORD>(-1);
    components.dwPasswordLength = static_cast<DWORD>(-1);
    components.dwUrlPathLength = static_cast<DWORD>(-1);
    components.dwExtraInfoLength = static_cast<DWORD>(-1);
    const bool accepted =
        WinHttpCrackUrl(url.c_str(), 0, 0, &components) &&
        (components.nScheme == INTERNET_SCHEME_HTTP ||
         components.nScheme == INTERNET_SCHEME_HTTPS) &&
        components.lpszHostName != nullptr && components.dwHostNameLength != 0 &&
        components.dwUserNameLength == 0 && components.dwPasswordLength == 0;
    if (!accepted) {
        throw std::runtime_error(std::string(key) +
                                 " must be an absolute HTTP(S) URL without credentials");
    }
    UrlParts parts;
    parts.host.assign(components.lpszHostName, components.dwHostNameLength);
    if (components.dwUrlPathLength != 0) {
        parts.pathAndQuery.assign(components.lpszUrlPath, components.dwUrlPathLength);
    }
    if (components.dwExtraInfoLength != 0) {
        // "http://host?x" has no path; its request target is "/?x", never the invalid "?x".
        if (parts.pathAndQuery.empty()) {
            parts.pathAndQuery = L"/";
        }
        parts.pathAndQuery.append(components.lpszExtraInfo, components.dwExtraInfoLength);
    }
    if (parts.pathAndQuery.empty()) {
        parts.pathAndQuery = L"/";
    }
    parts.port = components.nPort;
    parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    return parts;
}

void require_http_url(const std::wstring& url, std::string_view key, bool allow_empty) {
    if (!(url.empty() && allow_empty)) {
        crack_url(url, key);
    }
}

}  // namespace bx
