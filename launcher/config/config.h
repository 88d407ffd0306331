#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bx {

// Colours are 0x00RRGGBB; the window swaps red and blue for GDI.
struct BrandingColors {
    std::uint32_t background = 0x0C0F14;
    std::uint32_t hero = 0x0F1218;
    std::uint32_t card = 0x151920;
    std::uint32_t field = 0x1D232C;
    std::uint32_t muted = 0x8F99A8;
    std::uint32_t accent = 0xEB3940;
    std::uint32_t success = 0x48C78E;
    std::uint32_t text = 0xF7F9FC;
    std::uint32_t darkStripe = 0x3A191F;
    std::uint32_t accentStripe = 0x8B2A31;
    std::uint32_t border = 0x414C5A;
};

struct LauncherBranding {
    std::wstring windowTitle;
    std::wstring eyebrow = L"SERVIDOR PRIVADO";
    std::wstring heroTitle;
    std::wstring heroDescription;
    std::wstring panelTitle = L"LISTO PARA JUGAR";
    std::wstring usernameLabel = L"USUARIO";
    std::wstring passwordLabel = L"CONTRASE\u00D1A";
    std::wstring rememberUsername = L"Recordar usuario en esta PC";
    std::wstring playButton = L"INICIAR JUEGO";
    std::wstring checkFilesButton = L"DESCARGAR / VERIFICAR JUEGO";
    std::wstring idleText = L"La contrase\u00F1a nunca se guarda.";
    std::wstring accountPrompt = L"\u00BFNo tienes cuenta?";
    std::wstring registerLink = L"Reg\u00EDstrate aqu\u00ED";
    std::wstring protocolLabel = L"ESTADO";
    std::wstring protocolText = L"CONEXI\u00D3N SEGURA";
    std::wstring statusChecking = L"\u2022  VERIFICANDO SERVIDOR";
    std::wstring statusOnline = L"\u2022  SERVIDOR EN L\u00CDNEA";
    std::wstring statusOffline = L"\u2022  SERVIDOR NO DISPONIBLE";
    std::wstring fontFamily = L"Segoe UI";
    std::filesystem::path heroImage;
    std::filesystem::path windowIcon;
    std::vector<std::filesystem::path> fontFiles;
    bool showProtocol = true;
    bool showStripes = true;
    bool showHeroText = true;
    std::int32_t heroWidthPercent = 53;
    BrandingColors colors;
};

// Every setting of the launcher, built with the defaults and overridden key by key from the
// configuration file. A plain value: the window owns one, every thread gets its own copy.
struct LauncherConfig {
    std::wstring serverName = L"Kade Orvindal";
    std::wstring loginUrl = L"https://play.kadeorvindal.net/api/v1/launcher/session";
    std::filesystem::path configDirectory;
    std::filesystem::path gameDirectory = L".";
    std::filesystem::path gameExecutable = L"Braxholm.bin";
    std::vector<std::wstring> launchArguments = {L"{username}", L"{password}", L"{channel}"};
    std::wstring patchManifestUrl = L"https://play.kadeorvindal.net/api/launcher/manifest";
    std::wstring statusUrl = L"https://play.kadeorvindal.net/healthz";
    std::wstring registrationUrl = L"https://play.kadeorvindal.net/register";
    std::int32_t loginTimeoutSeconds = 8;
    bool closeAfterLaunch = true;
    bool autoDownloadWhenMissing = true;
    LauncherBranding branding;
};

}  // namespace bx
