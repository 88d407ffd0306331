#include "launcher/platform/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "launcher/platform/errors.h"

namespace bx {
namespace {

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
    AtomicFileWriter writer(path, object, save_failure_message);
    writer.write(bytes);
    writer.commit();
}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& path, std::string_view object,
                                   std::string_view saveFailureMessage)
    : path_(path), temporary_(temporary_path_for(path)), object_(object),
      saveFailureMessage_(saveFailureMessage),
      file_(create_file(temporary_.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS)) {
    failed_ = !file_;
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::write(std::string_view bytes) noexcept {
    if (failed_) return;
    if (held_ + bytes.size() > sizeof buffer_) {
        failed_ = !flush_buffer();
        if (failed_) return;
        if (bytes.size() >= sizeof buffer_) {
            failed_ = !write_all(file_.get(), bytes);
            return;
        }
    }
    std::memcpy(buffer_ + held_, bytes.data(), bytes.size());
    held_ += bytes.size();
}

bool AtomicFileWriter::flush_buffer() noexcept {
    const bool written = write_all(file_.get(), std::string_view(buffer_, held_));
    held_ = 0;
    return written;
}

void AtomicFileWriter::commit() {
    // Flushed to disk before the move, so a power cut cannot leave an empty file in the old
    // one's place.
    // Closed before the move: Wine refuses to replace a file that still has an open handle.
    const bool written = !failed_ && flush_buffer() && FlushFileBuffers(file_.get());
    const bool closed = file_ && CloseHandle(file_.release()) != FALSE;
    if (!written || !closed) {
        discard();
        throw std::runtime_error(saveFailureMessage_);
    }
    if (!MoveFileExW(temporary_.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // The report must carry the move's code, not the clean-up's.
        const DWORD code = GetLastError();
        discard();
        throw_error_code(code, "MoveFileExW(" + object_ + ")");
    }
    temporary_.clear();
}

void AtomicFileWriter::discard() noexcept {
    file_.reset();
    if (!temporary_.empty()) {
        DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace bx
