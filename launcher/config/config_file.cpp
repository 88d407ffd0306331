#include "launcher/config/config_file.h"

#include <stdexcept>

#include "launcher/platform/ascii.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/url.h"
#include "launcher/platform/windows_path.h"

namespace bx {
namespace {

bool read_bool_member(const JsonValue& object, std::string_view key, bool fallback) {
    const JsonValue* member = find_config_member(object, key);
    return member ? member->as_bool() : fallback;
}

// The full 64-bit value is range-checked before it is narrowed, so 2^32 + 8 is refused
// rather than loaded as 8.
std::int32_t read_ranged_integer(const JsonValue& object, std::string_view key,
                                 std::int32_t fallback, std::int64_t low, std::int64_t high,
                                 const char* range_message) {
    const JsonValue* member = find_config_member(object, key);
    const std::int64_t value = member ? member->as_integer() : fallback;
    if (value < low || value > high) throw std::runtime_error(range_message);
    return static_cast<std::int32_t>(value);
}

std::filesystem::path read_path_member(const JsonValue& object, std::string_view key,
                                       const std::filesystem::path& fallback) {
    return std::filesystem::path(read_string_member(object, key, fallback.native()));
}

template <class Item>
void read_list_member(const JsonValue& object, std::string_view key, std::vector<Item>& list) {
    const JsonValue* member = find_config_member(object, key);
    if (!member) return;
    list.clear();
    for (const JsonValue& element : member->as_array()) {
        list.emplace_back(utf8_to_wide(element.as_string()));
    }
}

void read_branding_texts(const JsonValue& branding, LauncherBranding& b) {
    struct Text {
        std::string_view key;
        std::wstring LauncherBranding::*member;
    };
    static constexpr Text kTexts[] = {
        {"windowTitle", &LauncherBranding::windowTitle},
        {"eyebrow", &LauncherBranding::eyebrow},
        {"heroTitle", &LauncherBranding::heroTitle},
        {"heroDescription", &LauncherBranding::heroDescription},
        {"panelTitle", &LauncherBranding::panelTitle},
        {"usernameLabel", &LauncherBranding::usernameLabel},
        {"passwordLabel", &LauncherBranding::passwordLabel},
        {"rememberUsername", &LauncherBranding::rememberUsername},
        {"playButton", &LauncherBranding::playButton},
        {"checkFilesButton", &LauncherBranding::checkFilesButton},
        {"idleText", &LauncherBranding::idleText},
        {"accountPrompt", &LauncherBranding::accountPrompt},
        {"registerLink", &LauncherBranding::registerLink},
        {"protocolLabel", &LauncherBranding::protocolLabel},
        {"protocolText", &LauncherBranding::protocolText},
        {"statusChecking", &LauncherBranding::statusChecking},
        {"statusOnline", &LauncherBranding::statusOnline},
        {"statusOffline", &LauncherBranding::statusOffline},
        {"fontFamily", &LauncherBranding::fontFamily},
    };
    for (const Text& text : kTexts) {
        b.*text.member = read_string_member(branding, text.key, b.*text.member);
    }
}

void read_colors(const JsonValue& colors, BrandingColors& c) {
    struct Color {
        std::string_view key;
        std::uint32_t BrandingColors::*member;
    };
    static constexpr Color kColors[] = {
        {"background", &BrandingColors::background},
        {"hero", &BrandingColors::hero},
        {"card", &BrandingColors::card},
        {"field", &BrandingColors::field},
        {"muted", &BrandingColors::muted},
        {"accent", &BrandingColors::accent},
        {"success", &BrandingColors::success},
        {"text", &BrandingColors::text},
        {"darkStripe", &BrandingColors::darkStripe},
        {"accentStripe", &BrandingColors::accentStripe},
        {"border", &BrandingColors::border},
    };
    for (const Color& color : kColors) {
        c.*color.member = read_color(colors, color.key, c.*color.member);
    }
}

void read_branding(const JsonValue& branding, LauncherBranding& b) {
    if (!branding.is_object()) throw JsonError("branding must be an object");
    read_branding_texts(branding, b);
    b.heroImage = read_path_member(branding, "heroImage", b.heroImage);
    b.windowIcon = read_path_member(branding, "windowIcon", b.windowIcon);
    b.showProtocol = read_bool_member(branding, "showProtocol", b.showProtocol);
    b.showStripes = read_bool_member(branding, "showStripes", b.showStripes);
    b.showHeroText = read_bool_member(branding, "showHeroText", b.showHeroText);
    b.heroWidthPercent = read_ranged_integer(branding, "heroWidthPercent", b.heroWidthPercent,
                                             20, 80,
                                             "branding.heroWidthPercent must be in 20..80");
    read_list_member(branding, "fontFiles", b.fontFiles);
    if (const JsonValue* colors = find_config_member(branding, "colors")) {
        if (!colors->is_object()) throw JsonError("branding.colors must be an object");
        read_colors(*colors, b.colors);
    }
}

// Plain HTTP is allowed only to this machine, named exactly as the developer writes it.
void require_login_url(const std::wstring& url) {
    const UrlParts parts = crack_url(url, "loginUrl");
    if (!parts.secure && parts.host != L"127.0.0.1" && parts.host != L"localhost") {
        throw std::runtime_error(
            "loginUrl must use HTTPS; plaintext HTTP is allowed only for local development");
    }
    // The login appends "/start" to this URL.
    if (url.find_first_of(L"?#") != std::wstring::npos || url.back() == L'/') {
        throw std::runtime_error(
            "loginUrl must identify the session endpoint without a query, fragment, or "
            "trailing slash");
    }
}

}  // namespace

const JsonValue* find_config_member(const JsonValue& object, std::string_view key) {
    if (!object.is_object()) throw JsonError("launcher configuration root must be an object");
    return object.find(key);
}

std::wstring read_string_member(const JsonValue& object, std::string_view key,
                                const std::wstring& fallback) {
    const JsonValue* member = find_config_member(object, key);
    return member ? utf8_to_wide(member->as_string()) : fallback;
}

std::uint32_t read_color(const JsonValue& colors, std::string_view key, std::uint32_t current) {
    const JsonValue* member = find_config_member(colors, key);
    if (!member) return current;
    const std::string& text = member->as_string();
    bool valid = text.size() == 7 && text[0] == '#';
    std::uint32_t value = 0;
    for (std::size_t i = 1; valid && i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        valid = is_hex_digit(c);
        value = value << 4 | hex_value(c);
    }
    if (!valid) throw JsonError(std::string(key) + " must use #RRGGBB");
    return value;
}

LauncherConfig parse_launcher_config(const std::string& text,
                                     const std::filesystem::path& directory) {
    const JsonValue root = parse_json(text);
    LauncherConfig config;
    config.configDirectory = absolute_path(directory);

    config.serverName = read_string_member(root, "serverName", config.serverName);
    config.loginUrl = read_string_member(root, "loginUrl", config.loginUrl);
    config.gameDirectory = read_path_member(root, "gameDirectory", config.gameDirectory);
    config.gameExecutable = read_path_member(root, "gameExecutable", config.gameExecutable);
    if (is_fully_absolute(config.gameExecutable)) {
        throw std::runtime_error("gameExecutable must be relative to gameDirectory");
    }
    read_list_member(root, "launchArguments", config.launchArguments);
    config.patchManifestUrl = read_string_member(root, "patchManifestUrl", config.patchManifestUrl);
    config.statusUrl = read_string_member(root, "statusUrl", config.statusUrl);
    config.registrationUrl = read_string_member(root, "registrationUrl", config.registrationUrl);
    config.loginTimeoutSeconds =
        read_ranged_integer(root, "loginTimeoutSeconds", config.loginTimeoutSeconds, 1, 120,
                            "loginTimeoutSeconds must be in 1..120");
    config.closeAfterLaunch = read_bool_member(root, "closeAfterLaunch", config.closeAfterLaunch);
    config.autoDownloadWhenMissing =
        read_bool_member(root, "autoDownloadWhenMissing", config.autoDownloadWhenMissing);
    if (const JsonValue* branding = find_config_member(root, "branding")) {
        read_branding(*branding, config.branding);
    }

    if (config.serverName.empty() || config.loginUrl.empty() ||
        config.gameDirectory.native().empty() || config.gameExecutable.native().empty() ||
        config.branding.fontFamily.empty()) {
        throw std::runtime_error(
            "serverName, loginUrl, gameDirectory, gameExecutable, and branding.fontFamily must "
            "not be empty");
    }
    require_login_url(config.loginUrl);
    require_http_url(config.patchManifestUrl, "patchManifestUrl", true);
    require_http_url(config.statusUrl, "statusUrl", true);
    require_http_url(config.registrationUrl, "registrationUrl", true);
    return config;
}

}  // namespace bx
