#pragma once

#include "launcher/platform/unique.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace bx {

// What the player reads when another launcher is already synchronising the same game folder.
inline constexpr char kGameFolderBusyMessage[] =
    "Otro launcher ya est\u00E1 actualizando esta carpeta del juego. Espera a que termine y "
    "vuelve a intentarlo.";

// The path by which the system knows an existing folder, whatever spelling reached it: long
// names, the letter case on disk, links followed, the volume by its device name
// (GetFinalPathNameByHandleW). Empty when the folder cannot be opened or the system cannot say.
std::optional<std::wstring> final_folder_path(const std::filesystem::path& directory);

// The name of the kernel object that stands for one folder, given the folder's path as the
// system knows it: its letter case folded as the file system folds names, then hashed, since a
// path may be longer than a name may be and may hold characters a name may not. Without the
// namespace prefix.
std::wstring game_folder_lock_name(std::wstring_view folderPath);

// The name for an existing folder: from its final path, or, when the system cannot give that,
// from the path as Windows opens it.
std::wstring game_folder_lock_name_of(const std::filesystem::path& directory);

// One synchronisation of a game folder at a time, across the processes of this PC and, where
// Windows allows it, across the sessions of its users: a named mutex, taken without waiting
// and held until this object goes. The system lets go of it when the holder's process ends in
// any way, so a killed launcher leaves nothing behind. Taken and dropped on one thread, as a
// mutex must be.
class GameFolderLock {
public:
    // `directory` exists. Throws std::runtime_error kGameFolderBusyMessage when another
    // launcher holds the folder.
    explicit GameFolderLock(const std::filesystem::path& directory);
    ~GameFolderLock();
    GameFolderLock(const GameFolderLock&) = delete;
    GameFolderLock& operator=(const GameFolderLock&) = delete;

private:
    UniqueHandle mutex_;
};

}  // namespace bx
