#include "launcher/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "launcher/errors.h"

namespace bx {
namespace {

// Owns a file handle from CreateFileW; close() lets the writer close it before the move
// (Wine refuses to replace a file that still has an open handle).
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { close(); }

    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const noexcept { return handle_; }
    bool close() noexcept {
        if (!valid()) return true;
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

bool write_all(HANDLE file, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<std::size_t>(bytes.size(), std::size_t{1} << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Writes, flushes and closes the temporary file; false on any failure.
bool write_temporary(const std::filesystem::path& temporary, std::string_view bytes) noexcept {
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    // Flushed before the move, so a power cut cannot leave an empty file in the old one's place.
    const bool written = write_all(file.get(), bytes) && FlushFileBuffers(file.get());
    return file.close() && written;
}

}  // namespace

std::filesystem::path temporary_path_for(const std::filesystem::path& path) {
    std::filesystem::path temporary = path;
    temporary += L".tmp";
    return temporary;
}

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string_view object) {
    write_file_atomically(path, bytes, object, "Could not save " + std::string(object));
}

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string_view object, std::string_view save_failure_message) {
    const std::filesystem::path temporary = temporary_path_for(path);
    if (!write_temporary(temporary, bytes)) {
        DeleteFileW(temporary.c_str());
        throw std::runtime_error(std::string(save_failure_message));
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // The report must carry the move's code, not the clean-up's.
        const DWORD code = GetLastError();
        DeleteFileW(temporary.c_str());
        throw_error_code(code, "MoveFileExW(" + std::string(object) + ")");
    }
}

}  // namespace bx
