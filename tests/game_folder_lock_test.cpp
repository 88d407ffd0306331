#include "launcher/sync/game_folder_lock.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <exception>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bx_test::ScratchFolder;
using bx_test::thrown_text;

bool valid_object_name(const std::wstring& name) {
    return name.size() + sizeof("Global\\") < MAX_PATH && name.find(L'\\') == std::wstring::npos;
}

// What names one folder to the file system names one lock; anything else names another. The
// paths are final paths as the system gives them.
TEST(GameFolderLockName, FoldsLetterCaseAsTheFileSystemAndNothingElse) {
    const std::wstring base = L"\\Device\\HarddiskVolume2\\Juegos\\M\u00FAsica";
    const struct {
        const char* name;
        std::wstring other;
        bool same;
    } cases[] = {
        {"itself", base, true},
        {"ASCII letters in other case", L"\\DEVICE\\harddiskvolume2\\JUEGOS\\m\u00FAsica", true},
        {"a non-ASCII letter in other case", L"\\Device\\HarddiskVolume2\\Juegos\\M\u00DAsica",
         true},
        {"trailing separators", base + L"\\\\", true},
        {"another folder", L"\\Device\\HarddiskVolume2\\Juegos\\Musica", false},
        {"a folder beneath", base + L"\\sub", false},
        {"the same folder on another volume", L"\\Device\\HarddiskVolume3\\Juegos\\M\u00FAsica",
         false},
        {"a name that is not valid UTF-16", L"\\Device\\HarddiskVolume2\\\xD800", false},
    };
    const std::wstring expected = bx::game_folder_lock_name(base);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = bx::game_folder_lock_name(c.other);
        EXPECT_EQ(name == expected, c.same);
        EXPECT_TRUE(valid_object_name(name));
    }
    // A path far longer than a name may be still gives a name.
    EXPECT_TRUE(valid_object_name(bx::game_folder_lock_name(base + std::wstring(4000, L'x'))));
}

// Every spelling of an existing folder reaches one name through the disk: letter case, a
// trailing separator, the extended-length form, dot segments and its 8.3 short name.
TEST(GameFolderLockName, EverySpellingOfAFolderOnDiskNamesOneLock) {
    const ScratchFolder scratch(L"Carpeta del juego \u00E9pico");
    const std::wstring& path = scratch.path().native();
    std::wstring upper = path;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    std::vector<std::pair<const char*, std::wstring>> spellings = {
        {"upper case, the accented letter too", upper},
        {"trailing separator", path + L"\\"},
        {"extended length", L"\\\\?\\" + path},
        {"dot segments", path + L"\\.\\..\\" + scratch.path().filename().native()},
    };
    if (const std::wstring alias = bx_test::short_path_of(path); !alias.empty()) {
        spellings.emplace_back("8.3 short name", alias);
    }
    const std::wstring expected = bx::game_folder_lock_name_of(scratch.path());
    for (const auto& [name, spelling] : spellings) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bx::game_folder_lock_name_of(spelling), expected);
    }
    fs::create_directories(scratch.root() / L"otra");
    EXPECT_NE(bx::game_folder_lock_name_of(scratch.root() / L"otra"), expected);
    EXPECT_NE(bx::game_folder_lock_name_of(scratch.root()), expected);
}

// The lock between two threads, as between two launchers: while one holds a folder, taking it
// in any spelling fails with the player's message, another folder is free, and once the holder
// lets go the folder can be taken again.
TEST(GameFolderLock, OneHolderPerFolderUntilItLetsGo) {
    const ScratchFolder scratch(L"juego");
    fs::create_directories(scratch.root() / L"otro");
    std::promise<void> taken;
    std::promise<void> letGo;
    std::thread holder([&] {
        try {
            const bx::GameFolderLock lock(scratch.path());
            taken.set_value();
            letGo.get_future().wait();
        } catch (...) {
            taken.set_exception(std::current_exception());
        }
    });
    std::future<void> holding = taken.get_future();
    const std::string failure = thrown_text([&] { holding.get(); });
    if (!failure.empty()) {
        holder.join();
        FAIL() << failure;
    }

    for (const std::wstring& spelling :
         {scratch.path().native(), scratch.root().native() + L"\\JUEGO\\"}) {
        SCOPED_TRACE(bx::game_folder_lock_name(spelling));
        EXPECT_EQ(thrown_text([&] { bx::GameFolderLock second(spelling); }),
                  bx::kGameFolderBusyMessage);
    }
    EXPECT_EQ(thrown_text([&] { bx::GameFolderLock other(scratch.root() / L"otro"); }), "");

    letGo.set_value();
    holder.join();
    EXPECT_EQ(thrown_text([&] { bx::GameFolderLock again(scratch.path()); }), "");
}

}  // namespace
