#pragma once

#include <filesystem>
#include <string_view>

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

// "<path>.tmp": the whole file name with ".tmp" appended, in the same folder.
std::filesystem::path temporary_path_for(const std::filesystem::path& path);

}  // namespace bx
