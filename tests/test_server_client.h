#pragma once
// The test side of the loopback server in fixtures/test_server: where it listens, per-test tags,
// the journal of what it received, and stored files. It talks to the server with its own small
// WinHTTP client, so that what a test checks does not go through the code under test.
//
// A test executable that uses it sets, in tests/<name>.cmake:
//   set(BX_TEST_PROPERTIES_<name> FIXTURES_REQUIRED http_server
//       ENVIRONMENT BX_TEST_SERVER_PORT_FILE=${BX_TEST_SERVER_PORT_FILE})

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json.h"
#include "scratch_folder.h"

namespace bx_test {

// A path handed over by the build (a host path under Wine, where "/x" is "Z:\x").
inline std::wstring host_path(std::string_view path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide.front() == L'/') {
        wide.insert(0, L"Z:");
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return wide;
}

inline std::uint16_t test_server_port() {
    static const std::uint16_t port = [] {
        const char* file = std::getenv("BX_TEST_SERVER_PORT_FILE");
        if (file == nullptr || *file == '\0') {
            throw std::runtime_error("BX_TEST_SERVER_PORT_FILE is not set");
        }
        std::ifstream in(std::filesystem::path(host_path(file)));
        unsigned value = 0;
        if (!(in >> value) || value == 0 || value > 65535) {
            throw std::runtime_error(std::string("no port in ") + file);
        }
        return static_cast<std::uint16_t>(value);
    }();
    return port;
}

// "http://127.0.0.1:<port>" followed by `target` (which starts with "/" or "?", or is empty).
inline std::wstring server_url(std::string_view target = {}) {
    return L"http://127.0.0.1:" + std::to_wstring(test_server_port()) +
           std::wstring(target.begin(), target.end());
}

struct RawResponse {
    DWORD status = 0;
    std::string body;
};

// A plain request of the test's own, for the server's control endpoints.
inline RawResponse raw_request(const wchar_t* verb, std::string_view target,
                               std::string_view body = {}) {
    struct Handle {
        HINTERNET h;
        ~Handle() {
            if (h != nullptr) {
                WinHttpCloseHandle(h);
            }
        }
    };
    Handle session{WinHttpOpen(L"bx-tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0)};
    if (session.h == nullptr) {
        throw std::runtime_error("test client: WinHttpOpen failed");
    }
    Handle connection{WinHttpConnect(session.h, L"127.0.0.1", test_server_port(), 0)};
    const std::wstring object(target.begin(), target.end());
    Handle request{connection.h == nullptr
                       ? nullptr
                       : WinHttpOpenRequest(connection.h, verb, object.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)};
    if (request.h == nullptr ||
        !WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.h, nullptr)) {
        throw std::runtime_error("test client: request failed, error " +
                                 std::to_string(GetLastError()));
    }
    RawResponse response;
    DWORD size = sizeof(response.status);
    WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &response.status, &size,
                        WINHTTP_NO_HEADER_INDEX);
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.h, &available) || available == 0) {
            break;
        }
        const std::size_t held = response.body.size();
        response.body.resize(held + available);
        DWORD read = 0;
        if (!WinHttpReadData(request.h, response.body.data() + held, available, &read)) {
            break;
        }
        response.body.resize(held + read);
        if (read == 0) {
            break;
        }
    }
    return response;
}

struct JournalEntry {
    std::string method;
    std::string target;  // as received, tag prefix included
    std::string path;    // without the tag prefix
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name (ignoring case), or null.
    const std::string* header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (key.size() == name.size() &&
                CompareStringOrdinal(std::wstring(key.begin(), key.end()).c_str(), -1,
                                     std::wstring(name.begin(), name.end()).c_str(), -1,
                                     TRUE) == CSTR_EQUAL) {
                return &value;
            }
        }
        return nullptr;
    }
};

inline std::string unhex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// A tag of its own for the running test: its requests and files are kept apart on the server.
class ServerTag {
public:
    ServerTag() : tag_(make_tag()) {}

    const std::string& tag() const { return tag_; }

    // "http://127.0.0.1:<port>/t/<tag>" followed by `path` ("/status/404", "/files/x", ...).
    std::wstring url(std::string_view path) const {
        return server_url("/t/" + tag_ + std::string(path));
    }

    std::vector<JournalEntry> journal() const {
        const RawResponse response = raw_request(L"GET", "/t/" + tag_ + "/_journal");
        if (response.status != 200) {
            throw std::runtime_error("journal answered " + std::to_string(response.status));
        }
        const bx::JsonValue root = bx::parse_json(response.body);
        std::vector<JournalEntry> entries;
        for (const bx::JsonValue& item : root.find("requests")->as_array()) {
            JournalEntry entry;
            entry.method = item.find("method")->as_string();
            entry.target = item.find("target")->as_string();
            entry.path = item.find("path")->as_string();
            for (const bx::JsonValue& pair : item.find("headers")->as_array()) {
                entry.headers.emplace_back(pair.as_array().at(0).as_string(),
                                           pair.as_array().at(1).as_string());
            }
            entry.body = unhex(item.find("body_hex")->as_string());
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    // Stores `body` to be served at /t/<tag>/files/<name>; `query` holds the answer's options
    // ("status=201&content_type=application/json", delivery faults, ...).
    void store_file(std::string_view name, std::string_view body, std::string_view query = {}) const {
        std::string target = "/t/" + tag_ + "/_files/" + std::string(name);
        if (!query.empty()) {
            target += "?" + std::string(query);
        }
        const RawResponse response = raw_request(L"POST", target, body);
        if (response.status != 204) {
            throw std::runtime_error("storing a file answered " + std::to_string(response.status));
        }
    }

    // Lets the answers stored with the option gate=<name> go on with their bodies.
    void open_gate(std::string_view name) const {
        const RawResponse response =
            raw_request(L"POST", "/t/" + tag_ + "/_gates/" + std::string(name));
        if (response.status != 204) {
            throw std::runtime_error("opening a gate answered " + std::to_string(response.status));
        }
    }

private:
    static std::string make_tag() {
        static std::atomic<unsigned> counter{0};
        std::string name = "test";
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
            name = std::string(info->test_suite_name()) + "-" + info->name();
        }
        for (char& c : name) {
            const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '-' || c == '_';
            if (!safe) {
                c = '_';
            }
        }
        return name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter++);
    }

    std::string tag_;
};

}  // namespace bx_test
