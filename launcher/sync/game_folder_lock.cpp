#include "launcher/sync/game_folder_lock.h"

#include "launcher/platform/errors.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/sha256.h"

#include <windows.h>

#include <stdexcept>

namespace bx {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kLockNamePrefix[] = L"KadeOrvindal.GameFolder.";
constexpr char kCreateCall[] = "CreateMutexW(game folder lock)";

// Another user's launcher holds the global object: this user may neither create nor fully open
// it, but it is there. When it is not, this process may not create global objects at all.
bool held_by_another_user(const std::wstring& globalName) {
    const UniqueHandle opened(OpenMutexW(SYNCHRONIZE, FALSE, globalName.c_str()));
    return opened || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// The global namespace reaches every session of the PC, so that two users (or one user at the
// console and over Remote Desktop) do not update one shared folder at once. A process that may
// not create global objects uses its session's own.
HANDLE create_lock_mutex(const std::wstring& name) {
    const std::wstring globalName = L"Global\\" + name;
    if (HANDLE mutex = CreateMutexW(nullptr, FALSE, globalName.c_str())) {
        return mutex;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_ACCESS_DENIED) {
        throw_error_code(code, kCreateCall);
    }
    if (held_by_another_user(globalName)) {
        throw std::runtime_error(kGameFolderBusyMessage);
    }
    const std::wstring localName = L"Local\\" + name;
    return check(CreateMutexW(nullptr, FALSE, localName.c_str()), kCreateCall);
}

}  // namespace

std::optional<std::wstring> final_folder_path(const fs::path& directory) {
    const UniqueFile folder =
        create_file(directory.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS);
    if (!folder) {
        return std::nullopt;
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        // By the volume's device name: one name per volume, whichever drive letter, mount
        // point or mapped drive led there.
        const DWORD length = GetFinalPathNameByHandleW(folder.get(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_NT);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length, L'\0');
    }
}

std::wstring game_folder_lock_name(std::wstring_view folderPath) {
    while (folderPath.size() > 1 && is_path_separator(folderPath.back())) {
        folderPath.remove_suffix(1);
    }
    // The UTF-16 units as they are: a name on disk need not be valid UTF-16.
    std::string units;
    for (const wchar_t unit : file_name_key(folderPath)) {
        units.push_back(static_cast<char>(unit & 0xFF));
        units.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    const std::string digest = sha256_bytes(units);
    return kLockNamePrefix + std::wstring(digest.begin(), digest.end());
}

std::wstring game_folder_lock_name_of(const fs::path& directory) {
    const std::optional<std::wstring> finalPath = final_folder_path(directory);
    return game_folder_lock_name(finalPath ? *finalPath : path_as_opened(directory).native());
}

GameFolderLock::GameFolderLock(const fs::path& directory)
    : mutex_(create_lock_mutex(game_folder_lock_name_of(directory))) {
    switch (WaitForSingleObject(mutex_.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without letting go; this run checks every file anew
        return;
    case WAIT_TIMEOUT:
        throw std::runtime_error(kGameFolderBusyMessage);
    default:
        throw_last_error("WaitForSingleObject(game folder lock)");
    }
}

GameFolderLock::~GameFolderLock() {
    ReleaseMutex(mutex_.get());
}

}  // namespace bx
