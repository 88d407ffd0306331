#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bx {

// Strict conversions: invalid input throws std::system_error (named after the platform call),
// nothing is ever replaced or dropped.
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

// The same into an empty `utf8`, for a secret: the text is made in the caller's string, which
// the caller wipes (secure.h), not in one of this function's that a return would copy.
void wide_to_utf8(std::wstring_view wide, std::string& utf8);

// A path's text in UTF-8, for messages.
std::string path_utf8(const std::filesystem::path& path);

// True when every byte is below 0x80: such text is its own UTF-16 and folds only A-Z.
bool is_ascii(std::string_view text) noexcept;

// A text length as the platform's text calls take it (a signed 32-bit count, where -1 would
// mean "up to the NUL"); a longer text throws std::length_error.
int platform_text_length(std::size_t units);

// The whole file as bytes, less one leading UTF-8 byte-order mark.
std::string read_file_bytes(const std::filesystem::path& path);

// prefix + the span's bytes, for messages that quote untrusted bytes.
std::string concat_message(const char* prefix, const char* data, std::size_t size);

// For showing an exception text: never throws. Strict UTF-8 first; texts built by the runtime
// from the ANSI code page fall back to that code page; anything else gets a fixed text.
std::wstring display_text(std::string_view text) noexcept;

}  // namespace bx
