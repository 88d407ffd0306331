#include "launcher/config/config_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "launcher/platform/text.h"
#include "scratch_folder.h"

namespace {

using bx_test::ScratchFolder;
using bx_test::write_bytes;
namespace fs = std::filesystem;

std::string named(const char* name) { return std::string(R"({"serverName": ")") + name + "\"}"; }

std::string failure_of(const fs::path& given, const fs::path& executable) {
    try {
        bx::load_launcher_config_for(given, executable);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(loaded)";
}

TEST(ExecutablePath, IsTheRunningTestAbsoluteAndNormal) {
    const fs::path path = bx::executable_path();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path, path.lexically_normal());
    EXPECT_EQ(path.filename(), L"config_location_test.exe");
    EXPECT_TRUE(fs::is_regular_file(path));
}

TEST(LoadLauncherConfig, PrefersTheExecutablesOwnNameOverTheSharedName) {
    ScratchFolder folder;
    const fs::path exe = folder / L"Play\\Launcher.exe";
    write_bytes(folder / L"Play\\Launcher.json", named("own"));
    write_bytes(folder / L"Play\\Vidivezez.Azevizar.json", named("shared"));
    const bx::LauncherConfig config = bx::load_launcher_config_for({}, exe);
    EXPECT_EQ(config.serverName, L"own");
    EXPECT_EQ(config.configDirectory, folder / L"Play");
}

TEST(LoadLauncherConfig, FallsBackToTheSharedName) {
    ScratchFolder folder;
    write_bytes(folder / L"Play\\Vidivezez.Azevizar.json", "\xEF\xBB\xBF" + named("shared"));
    const bx::LauncherConfig config = bx::load_launcher_config_for({}, folder / L"Play\\L.exe");
    EXPECT_EQ(config.serverName, L"shared");
    EXPECT_EQ(config.configDirectory, folder / L"Play");
}

TEST(LoadLauncherConfig, AnExecutableWithoutExtensionGetsJsonAppended) {
    ScratchFolder folder;
    write_bytes(folder / L"Launcher.json", named("plain"));
    EXPECT_EQ(bx::load_launcher_config_for({}, folder / L"Launcher").serverName, L"plain");
}

TEST(LoadLauncherConfig, WithoutFilesGivesTheDefaultsInTheExecutablesFolder) {
    ScratchFolder folder;
    const bx::LauncherConfig config =
        bx::load_launcher_config_for({}, folder / L"Play\\Launcher.exe");
    EXPECT_EQ(config.serverName, L"Kade Orvindal");
    EXPECT_EQ(config.configDirectory, folder / L"Play");
}

TEST(LoadLauncherConfig, AChosenFileIsNeverReplacedByAnother) {
    ScratchFolder folder;
    const fs::path exe = folder / L"Launcher.exe";
    write_bytes(folder / L"Vidivezez.Azevizar.json", named("shared"));
    // A present but malformed own file fails; the shared file and the defaults are not tried.
    write_bytes(folder / L"Launcher.json", "{\"serverName\": ");
    EXPECT_NE(failure_of({}, exe).find(" at byte "), std::string::npos);
    // A directory of that name is present too, and cannot be opened.
    fs::remove(folder / L"Launcher.json");
    fs::create_directory(folder / L"Launcher.json");
    EXPECT_EQ(failure_of({}, exe),
              "Could not open " + bx::wide_to_utf8((folder / L"Launcher.json").native()));
}

TEST(LoadLauncherConfig, AGivenPathIsTheOnlyCandidate) {
    ScratchFolder folder;
    const fs::path exe = folder / L"Launcher.exe";
    write_bytes(folder / L"Launcher.json", named("own"));
    write_bytes(folder / L"Vidivezez.Azevizar.json", named("shared"));
    write_bytes(folder / L"cfg\\mine.json", named("mine"));
    EXPECT_EQ(bx::load_launcher_config_for(folder / L"cfg\\mine.json", exe).serverName, L"mine");

    const fs::path missing = folder / L"cfg\\missing.json";
    EXPECT_EQ(failure_of(missing, exe),
              "Launcher configuration was not found: " + bx::wide_to_utf8(missing.native()));
    EXPECT_EQ(failure_of(folder / L"cfg", exe),
              "Could not open " + bx::wide_to_utf8((folder / L"cfg").native()));
}

TEST(LoadLauncherConfig, AGivenRelativePathIsTakenFromTheCurrentDirectory) {
    ScratchFolder folder;
    write_bytes(folder / L"cfg\\my.json", R"({"gameDirectory": "game"})");
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    bx::LauncherConfig config;
    std::string missing;
    try {
        config = bx::load_launcher_config_for(L"cfg\\my.json", folder / L"bin\\Launcher.exe");
        missing = failure_of(L"cfg\\none.json", folder / L"bin\\Launcher.exe");
    } catch (...) {
        fs::current_path(previous);
        throw;
    }
    fs::current_path(previous);
    EXPECT_EQ(config.configDirectory, folder / L"cfg");
    EXPECT_EQ(bx::game_directory_path(config), folder / L"cfg\\game");
    EXPECT_EQ(missing, "Launcher configuration was not found: " +
                           bx::wide_to_utf8((folder / L"cfg\\none.json").native()));
}

// The wrapper searches beside this test executable, where no configuration file lies.
TEST(LoadLauncherConfig, TheWrapperSearchesBesideTheRunningExecutable) {
    const bx::LauncherConfig config = bx::load_launcher_config({});
    EXPECT_EQ(config.configDirectory, bx::executable_path().parent_path());
    EXPECT_EQ(config.serverName, L"Kade Orvindal");
}

TEST(GameDirectoryPath, ResolvesAgainstTheConfigurationDirectory) {
    const struct {
        const wchar_t* config_directory;
        const wchar_t* game_directory;
        const wchar_t* expected;
    } cases[] = {
        {L"D:\\Play", L".", L"D:\\Play\\"},
        {L"D:\\Play\\Launcher", L"..\\Game", L"D:\\Play\\Game"},
        {L"D:\\Play", L"\\Games", L"D:\\Games"},
        {L"D:\\Play", L"E:\\Games\\.\\x\\..", L"E:\\Games\\"},
        {L"D:\\Play", L"Game/bin", L"D:\\Play\\Game\\bin"},
        {L"D:\\Play", L"\\\\server\\share\\Games", L"\\\\server\\share\\Games"},
        // A launcher on a share: its games stay on the share, never above it.
        {L"\\\\server\\share\\Play", L".", L"\\\\server\\share\\Play\\"},
        {L"\\\\server\\share\\Play", L"game", L"\\\\server\\share\\Play\\game"},
        {L"\\\\server\\share\\Play", L"..\\..\\Game", L"\\\\server\\share\\Game"},
        {L"\\\\server\\share\\Play", L"\\Games", L"\\\\server\\share\\Games"},
        {L"\\\\?\\D:\\Play", L"..\\Game", L"\\\\?\\D:\\Game"},
        {L"\\\\?\\D:\\Play", L"\\Games", L"\\\\?\\D:\\Games"},
    };
    for (const auto& c : cases) {
        bx::LauncherConfig config;
        config.configDirectory = c.config_directory;
        config.gameDirectory = c.game_directory;
        EXPECT_EQ(bx::game_directory_path(config).native(), c.expected) << c.game_directory;
    }
}

// Started from a share, the launcher looks for its configuration on the share and, without
// one, keeps the share as its folder (no file there: the host does not exist).
TEST(LoadLauncherConfig, AnExecutableOnAShareKeepsItsShare) {
    const bx::LauncherConfig config =
        bx::load_launcher_config_for({}, L"\\\\no-such-host.invalid\\games\\Play\\Launcher.exe");
    EXPECT_EQ(config.configDirectory.native(), L"\\\\no-such-host.invalid\\games\\Play");
    EXPECT_EQ(bx::game_directory_path(config).native(), L"\\\\no-such-host.invalid\\games\\Play\\");
    EXPECT_EQ(failure_of(L"\\\\no-such-host.invalid\\games\\cfg\\..\\l.json", {}),
              "Launcher configuration was not found: \\\\no-such-host.invalid\\games\\l.json");
}

// Extended-length paths (\\?\D:\...) name the same files as their plain forms, for the
// executable, "--config", the configuration's folder and the game directory.
TEST(LoadLauncherConfig, ExtendedLengthPathsKeepTheirMeaning) {
    ScratchFolder folder;
    const std::wstring extended = L"\\\\?\\" + folder.path().native();
    write_bytes(folder / L"cfg\\launcher.json", R"({"serverName": "given", "gameDirectory": "..\\game"})");
    write_bytes(folder / L"Play\\Launcher.json", named("own"));

    const bx::LauncherConfig given =
        bx::load_launcher_config_for(extended + L"\\cfg\\launcher.json", {});
    EXPECT_EQ(given.serverName, L"given");
    EXPECT_EQ(given.configDirectory.native(), extended + L"\\cfg");
    EXPECT_EQ(bx::game_directory_path(given).native(), extended + L"\\game");
    EXPECT_EQ(failure_of(extended + L"\\cfg\\none.json", {}),
              "Launcher configuration was not found: " + bx::wide_to_utf8(extended) +
                  "\\cfg\\none.json");

    const bx::LauncherConfig own = bx::load_launcher_config_for({}, extended + L"\\Play\\Launcher.exe");
    EXPECT_EQ(own.serverName, L"own");
    EXPECT_EQ(own.configDirectory.native(), extended + L"\\Play");
    const bx::LauncherConfig defaults =
        bx::load_launcher_config_for({}, extended + L"\\Elsewhere\\Launcher.exe");
    EXPECT_EQ(defaults.configDirectory.native(), extended + L"\\Elsewhere");
    EXPECT_EQ(bx::game_directory_path(defaults).native(), extended + L"\\Elsewhere\\");
}

TEST(ResolveConfigPath, KeepsEmptyAndAbsolutePaths) {
    bx::LauncherConfig config;
    config.configDirectory = L"D:\\Play";
    EXPECT_TRUE(bx::resolve_config_path(config, L"").empty());
    EXPECT_EQ(bx::resolve_config_path(config, L"assets\\hero.png"), L"D:\\Play\\assets\\hero.png");
    EXPECT_EQ(bx::resolve_config_path(config, L"E:\\art\\hero.png"), L"E:\\art\\hero.png");
    EXPECT_EQ(bx::resolve_config_path(config, L"..\\art\\.\\i.ico"), L"D:\\art\\i.ico");
}

TEST(GameExecutableMissing, WantsARegularFile) {
    ScratchFolder folder;
    bx::LauncherConfig config;
    config.configDirectory = folder.path();
    config.gameDirectory = L"Game";
    EXPECT_TRUE(bx::game_executable_missing(config));  // no game directory at all
    fs::create_directories(folder / L"Game\\Braxholm.bin");
    EXPECT_TRUE(bx::game_executable_missing(config));  // a directory of that name
    fs::remove(folder / L"Game\\Braxholm.bin");
    write_bytes(folder / L"Game\\Braxholm.bin", "MZ");
    EXPECT_FALSE(bx::game_executable_missing(config));
}

}  // namespace
