#pragma once

// Member-by-member comparison of two configuration records, for the tests that check a loaded
// record against the built-in one.

#include <gtest/gtest.h>

#include "launcher/config/config.h"

namespace bx_test {

inline void expect_same_colors(const bx::BrandingColors& a, const bx::BrandingColors& b) {
    EXPECT_EQ(a.background, b.background);
    EXPECT_EQ(a.hero, b.hero);
    EXPECT_EQ(a.card, b.card);
    EXPECT_EQ(a.field, b.field);
    EXPECT_EQ(a.muted, b.muted);
    EXPECT_EQ(a.accent, b.accent);
    EXPECT_EQ(a.success, b.success);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.darkStripe, b.darkStripe);
    EXPECT_EQ(a.accentStripe, b.accentStripe);
    EXPECT_EQ(a.border, b.border);
}

inline void expect_same_branding(const bx::LauncherBranding& a, const bx::LauncherBranding& b) {
    EXPECT_EQ(a.windowTitle, b.windowTitle);
    EXPECT_EQ(a.eyebrow, b.eyebrow);
    EXPECT_EQ(a.heroTitle, b.heroTitle);
    EXPECT_EQ(a.heroDescription, b.heroDescription);
    EXPECT_EQ(a.panelTitle, b.panelTitle);
    EXPECT_EQ(a.usernameLabel, b.usernameLabel);
    EXPECT_EQ(a.passwordLabel, b.passwordLabel);
    EXPECT_EQ(a.rememberUsername, b.rememberUsername);
    EXPECT_EQ(a.playButton, b.playButton);
    EXPECT_EQ(a.checkFilesButton, b.checkFilesButton);
    EXPECT_EQ(a.idleText, b.idleText);
    EXPECT_EQ(a.accountPrompt, b.accountPrompt);
    EXPECT_EQ(a.registerLink, b.registerLink);
    EXPECT_EQ(a.protocolLabel, b.protocolLabel);
    EXPECT_EQ(a.protocolText, b.protocolText);
    EXPECT_EQ(a.statusChecking, b.statusChecking);
    EXPECT_EQ(a.statusOnline, b.statusOnline);
    EXPECT_EQ(a.statusOffline, b.statusOffline);
    EXPECT_EQ(a.fontFamily, b.fontFamily);
    EXPECT_EQ(a.heroImage.native(), b.heroImage.native());
    EXPECT_EQ(a.windowIcon.native(), b.windowIcon.native());
    EXPECT_EQ(a.fontFiles, b.fontFiles);
    EXPECT_EQ(a.showProtocol, b.showProtocol);
    EXPECT_EQ(a.showStripes, b.showStripes);
    EXPECT_EQ(a.showHeroText, b.showHeroText);
    EXPECT_EQ(a.heroWidthPercent, b.heroWidthPercent);
    expect_same_colors(a.colors, b.colors);
}

// configDirectory is compared too: callers set the expected one first.
inline void expect_same_config(const bx::LauncherConfig& a, const bx::LauncherConfig& b) {
    EXPECT_EQ(a.serverName, b.serverName);
    EXPECT_EQ(a.loginUrl, b.loginUrl);
    EXPECT_EQ(a.configDirectory.native(), b.configDirectory.native());
    EXPECT_EQ(a.gameDirectory.native(), b.gameDirectory.native());
    EXPECT_EQ(a.gameExecutable.native(), b.gameExecutable.native());
    EXPECT_EQ(a.launchArguments, b.launchArguments);
    EXPECT_EQ(a.patchManifestUrl, b.patchManifestUrl);
    EXPECT_EQ(a.statusUrl, b.statusUrl);
    EXPECT_EQ(a.registrationUrl, b.registrationUrl);
    EXPECT_EQ(a.loginTimeoutSeconds, b.loginTimeoutSeconds);
    EXPECT_EQ(a.closeAfterLaunch, b.closeAfterLaunch);
    EXPECT_EQ(a.autoDownloadWhenMissing, b.autoDownloadWhenMissing);
    expect_same_branding(a.branding, b.branding);
}

}  // namespace bx_test
