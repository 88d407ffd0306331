#include "launcher/platform/errors.h"

#include "launcher/platform/ascii.h"

#include <stdexcept>
#include <string>
#include <system_error>

namespace bx {
namespace {

constexpr const char* kCertificateMessage =
    "Error del certificado HTTPS. Revisa la fecha y hora de tu PC.";

const char* winhttp_player_message(DWORD code) {
    switch (code) {
        case 12002:
            return "El servidor tardó demasiado en responder. Revisa tu internet e inténtalo "
                   "otra vez.";
        case 12007:
            return "No se encontró el servidor (DNS). Revisa tu internet.";
        case 12029:
            return "No se pudo conectar con el servidor. Puede estar en mantenimiento o un "
                   "firewall lo bloquea.";
        case 12030:
            return "Se cortó la conexión con el servidor. Inténtalo otra vez.";
        case 12037:
        case 12038:
        case 12045:
        case 12175:
            return kCertificateMessage;
        default:
            return nullptr;
    }
}

}  // namespace

void throw_error_code(DWORD code, std::string_view call) {
    if (const char* message = winhttp_player_message(code)) {
        throw std::runtime_error(std::string(message) + " (código " + std::to_string(code) + ")");
    }
    if (code >= 12000 && code <= 12200) {
        throw std::runtime_error("Error de conexión con el servidor (WinHTTP " +
                                 std::to_string(code) + ", " + std::string(call) + ").");
    }
    throw std::system_error(static_cast<int>(code), std::system_category(), std::string(call));
}

void throw_ntstatus(std::int32_t status, std::string_view call) {
    if (status >= 0) {
        return;
    }
    const auto value = static_cast<std::uint32_t>(status);
    std::string message(call);
    message += " failed with NTSTATUS 0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        message.push_back(hex_digit(value >> shift));
    }
    throw std::runtime_error(message);
}

void throw_last_error(std::string_view call) {
    const DWORD code = GetLastError();
    throw_error_code(code, call);
}

}  // namespace bx
