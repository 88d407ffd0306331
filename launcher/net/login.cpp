#include "launcher/net/login.h"

#include <string>
#include <vector>

#include "json/json.h"
#include "launcher/net/http.h"
#include "launcher/platform/ascii.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/text.h"

namespace bx {
namespace {

constexpr const char* kInvalidSession = "El servidor de cuentas devolvió una sesión no válida.";
constexpr const char* kInvalidChannel = "El servidor de cuentas devolvió un canal no válido.";

[[noreturn]] void throw_status(std::uint32_t status) {
    throw std::runtime_error("El servidor de cuentas respondió con el estado " +
                             std::to_string(status) + ".");
}

bool is_token_byte(unsigned char c) noexcept {
    return is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '-';
}

bool is_valid_token(std::string_view token) noexcept {
    if (token.size() < 32 || token.size() > 128) {
        return false;
    }
    for (char c : token) {
        if (!is_token_byte(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// Escaped straight into the caller's empty `body`, reserved for the final size: no grown-out
// block is left behind holding part of the password.
void session_body(std::string_view username, std::string_view password, std::string& body) {
    static constexpr std::string_view kOpen = "{\"username\":\"";
    static constexpr std::string_view kMiddle = "\",\"password\":\"";
    static constexpr std::string_view kClose = "\"}";
    body.reserve(kOpen.size() + json_escaped_size(username) + kMiddle.size() +
                 json_escaped_size(password) + kClose.size());
    body.append(kOpen);
    json_escape_append(body, username);
    body.append(kMiddle);
    json_escape_append(body, password);
    body.append(kClose);
}

// The "token" of a session answer, into the caller's empty `token`; the answer's own copies of
// it are wiped.
void read_token(std::vector<char>& answer, std::string& token) {
    std::string text(answer.begin(), answer.end());
    ScopedWipe wipe_text(text);
    secure_wipe(answer);
    try {
        JsonValue root = parse_json(text);
        JsonValue* member = root.find("token");
        if (member == nullptr) {
            throw JsonError("missing token");
        }
        token = member->as_string();
        secure_wipe(member->as_string());
    } catch (const std::exception&) {
        throw std::runtime_error(kInvalidSession);
    }
}

std::uint32_t read_channel(const std::vector<char>& answer) {
    try {
        const JsonValue root = parse_json(std::string(answer.begin(), answer.end()));
        const JsonValue* member = root.find("channelId");
        if (member == nullptr) {
            throw JsonError("missing channelId");
        }
        const std::int64_t channel = member->as_integer();
        if (channel < 0 || channel > 4294967295) {
            throw JsonError("channelId is outside the uint32 range");
        }
        return static_cast<std::uint32_t>(channel);
    } catch (const std::exception&) {
        throw std::runtime_error(kInvalidChannel);
    }
}

// The session request: the credentials for a token, into the caller's empty `token`.
void request_token(const LauncherConfig& config, std::string_view body, std::string& token) {
    HttpResponse response = http_post_json(config.loginUrl, body, {}, config.loginTimeoutSeconds);
    switch (response.status) {
        case 401:
            throw AuthenticationError("Usuario o contraseña incorrectos.");
        case 429:
            throw AuthenticationError(
                "Demasiados intentos fallidos. Espera 15 minutos e inténtalo otra vez.");
        case 503:
            throw std::runtime_error(
                "El servidor de cuentas no está disponible. Inténtalo en unos minutos.");
        case 201:
            break;
        default:
            throw_status(response.status);
    }
    read_token(response.body, token);
    if (!is_valid_token(token)) {
        wipe_and_release(token);
        throw std::runtime_error(kInvalidSession);
    }
}

// The start request: the token for a channel.
std::uint32_t request_channel(const LauncherConfig& config, std::string_view authorization) {
    const HttpResponse response = http_post_json(config.loginUrl + L"/start", "{}", authorization,
                                                 config.loginTimeoutSeconds);
    if (response.status == 401) {
        throw AuthenticationError("La sesión expiró; vuelve a iniciar sesión.");
    }
    if (response.status != 200) {
        throw_status(response.status);
    }
    return read_channel(response.body);
}

}  // namespace

std::uint32_t login(const LauncherConfig& config, std::wstring_view username,
                    std::wstring_view password) {
    // Each secret is made in a string that is already guarded, so that no copy of it is left
    // in a frame of its own (secure.h).
    const std::string username_utf8 = wide_to_utf8(username);
    std::string password_utf8;
    ScopedWipe wipe_password(password_utf8);
    wide_to_utf8(password, password_utf8);
    if (username_utf8.empty() || username_utf8.size() > 20 || password_utf8.empty() ||
        password_utf8.size() > 64) {
        throw std::invalid_argument(
            "El usuario debe tener de 1 a 20 caracteres y la contraseña de 1 a 64.");
    }
    std::string body;
    ScopedWipe wipe_body_text(body);
    session_body(username_utf8, password_utf8, body);

    std::string authorization;
    ScopedWipe wipe_authorization(authorization);
    {
        std::string token;
        ScopedWipe wipe_token(token);
        request_token(config, body, token);
        static constexpr std::string_view kScheme = "Bearer ";
        authorization.reserve(kScheme.size() + token.size());
        authorization.append(kScheme).append(token);
    }
    // Leaving the scopes wipes the authorization value, the session body and then the password.
    return request_channel(config, authorization);
}

}  // namespace bx
