#include "launcher/config/config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/config/config_file.h"
#include "launcher/platform/url.h"

namespace {

TEST(LauncherConfigDefaults, HaveTheBuiltInValues) {
    const bx::LauncherConfig config;
    EXPECT_EQ(config.serverName, L"Kade Orvindal");
    EXPECT_TRUE(config.configDirectory.empty());
    EXPECT_EQ(config.gameDirectory.native(), L".");
    EXPECT_EQ(config.gameExecutable.native(), L"Braxholm.bin");
    EXPECT_EQ(config.launchArguments,
              (std::vector<std::wstring>{L"{username}", L"{password}", L"{channel}"}));
    EXPECT_EQ(config.loginTimeoutSeconds, 8);
    EXPECT_TRUE(config.closeAfterLaunch);
    EXPECT_TRUE(config.autoDownloadWhenMissing);
}

TEST(LauncherConfigDefaults, UrlsUseHttpsAndTheKnownPaths) {
    const bx::LauncherConfig config;
    const struct {
        const std::wstring& url;
        std::wstring path;
    } cases[] = {
        {config.loginUrl, L"/api/v1/launcher/session"},
        {config.patchManifestUrl, L"/api/launcher/manifest"},
        {config.statusUrl, L"/healthz"},
        {config.registrationUrl, L"/register"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.url.rfind(L"https://", 0), 0u) << c.url;
        ASSERT_GE(c.url.size(), c.path.size());
        EXPECT_EQ(c.url.substr(c.url.size() - c.path.size()), c.path);
        // Scheme, host, then the path: nothing else in between.
        EXPECT_EQ(c.url.find(L'/', 8), c.url.size() - c.path.size()) << c.url;
    }
}

TEST(LauncherConfigDefaults, BrandingTextsAreTheSpanishDefaults) {
    const bx::LauncherBranding b;
    const struct {
        const std::wstring& actual;
        const wchar_t* expected;
    } cases[] = {
        {b.windowTitle, L""},
        {b.eyebrow, L"SERVIDOR PRIVADO"},
        {b.heroTitle, L""},
        {b.heroDescription, L""},
        {b.panelTitle, L"LISTO PARA JUGAR"},
        {b.usernameLabel, L"USUARIO"},
        {b.passwordLabel, L"CONTRASE\u00D1A"},
        {b.rememberUsername, L"Recordar usuario en esta PC"},
        {b.playButton, L"INICIAR JUEGO"},
        {b.checkFilesButton, L"DESCARGAR / VERIFICAR JUEGO"},
        {b.idleText, L"La contrase\u00F1a nunca se guarda."},
        {b.accountPrompt, L"\u00BFNo tienes cuenta?"},
        {b.registerLink, L"Reg\u00EDstrate aqu\u00ED"},
        {b.protocolLabel, L"ESTADO"},
        {b.protocolText, L"CONEXI\u00D3N SEGURA"},
        {b.statusChecking, L"\u2022\u0020\u0020VERIFICANDO SERVIDOR"},
        {b.statusOnline, L"\u2022\u0020\u0020SERVIDOR EN L\u00CDNEA"},
        {b.statusOffline, L"\u2022\u0020\u0020SERVIDOR NO DISPONIBLE"},
        {b.fontFamily, L"Segoe UI"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(LauncherConfigDefaults, BrandingSwitchesPathsAndWidth) {
    const bx::LauncherBranding b;
    EXPECT_TRUE(b.heroImage.empty());
    EXPECT_TRUE(b.windowIcon.empty());
    EXPECT_TRUE(b.fontFiles.empty());
    EXPECT_TRUE(b.showProtocol);
    EXPECT_TRUE(b.showStripes);
    EXPECT_TRUE(b.showHeroText);
    EXPECT_EQ(b.heroWidthPercent, 53);
}

TEST(LauncherConfigDefaults, ColorsAreRgbValues) {
    const bx::BrandingColors c;
    const struct {
        std::uint32_t actual, expected;
    } cases[] = {
        {c.background, 0x0C0F14}, {c.hero, 0x0F1218},       {c.card, 0x151920},
        {c.field, 0x1D232C},      {c.muted, 0x8F99A8},      {c.accent, 0xEB3940},
        {c.success, 0x48C78E},    {c.text, 0xF7F9FC},       {c.darkStripe, 0x3A191F},
        {c.accentStripe, 0x8B2A31}, {c.border, 0x414C5A},
    };
    for (const auto& k : cases) EXPECT_EQ(k.actual, k.expected);
}

// The built-in record must pass the rules that a loaded file has to pass.
TEST(LauncherConfigDefaults, SatisfyTheFileRules) {
    const bx::LauncherConfig config;
    EXPECT_NO_THROW(bx::require_http_url(config.loginUrl, "loginUrl", false));
    EXPECT_EQ(config.loginUrl.find_first_of(L"?#"), std::wstring::npos);
    EXPECT_NE(config.loginUrl.back(), L'/');
    EXPECT_NO_THROW(bx::require_http_url(config.patchManifestUrl, "patchManifestUrl", false));
    EXPECT_NO_THROW(bx::require_http_url(config.statusUrl, "statusUrl", false));
    EXPECT_NO_THROW(bx::require_http_url(config.registrationUrl, "registrationUrl", false));
    EXPECT_GE(config.branding.heroWidthPercent, 20);
    EXPECT_LE(config.branding.heroWidthPercent, 80);
    EXPECT_NO_THROW(bx::parse_launcher_config("{}", L"C:\\"));
}

}  // namespace
