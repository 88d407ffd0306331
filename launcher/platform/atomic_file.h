#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "launcher/platform/unique.h"

namespace bx {

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never
// a part: the bytes go to "<path>.tmp", are flushed to disk, and the closed file is moved over
// `path` (MoveFileExW, replace existing, write through).
//
// `object` names the file in the failures: "Could not save <object>" when the temporary file
// cannot be created, written or flushed (the temporary file is then removed), and the call name
// "MoveFileExW(<object>)" with the move's own error code when the move fails (the temporary
// file is removed first, the old file stays as it was).
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string_view object);

// The same, for callers whose save message differs from the call's object name.
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string_view object, std::string_view save_failure_message);

// The same write for bytes that are produced piece by piece, so that a large file needs no buffer
// of its own size: write() hands bytes to "<path>.tmp" as they come, commit() flushes, closes and
// moves it with the failures above. Without a commit (an exception on the way) the temporary
// file is removed and the old file stays.
class AtomicFileWriter {
public:
    AtomicFileWriter(const std::filesystem::path& path, std::string_view object,
                     std::string_view saveFailureMessage);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // A failed write is remembered, not thrown: commit() reports it, as a stream would.
    void write(std::string_view bytes) noexcept;
    void commit();

private:
    bool flush_buffer() noexcept;
    void discard() noexcept;

    std::filesystem::path path_;
    std::filesystem::path temporary_;
    std::string object_;
    std::string saveFailureMessage_;
    UniqueFile file_;
    bool failed_ = false;
    std::size_t held_ = 0;
    char buffer_[32768];
};

// "<path>.tmp": the whole file name with ".tmp" appended, in the same folder.
std::filesystem::path temporary_path_for(const std::filesystem::path& path);

}  // namespace bx
