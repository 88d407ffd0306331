#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "launcher/config/config.h"

namespace bx {

// Rejected credentials, too many failed attempts, an expired session.
class AuthenticationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Trades the user name and password for a session token at config.loginUrl, then the token for
// a channel number at loginUrl + "/start". Every copy of the password and the token made here
// is wiped before it is released, on every way out.
std::uint32_t login(const LauncherConfig& config, std::wstring_view username,
                    std::wstring_view password);

}  // namespace bx
