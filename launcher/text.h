#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bx {

// Strict conversions: invalid input throws std::system_error (named after the platform call),
// nothing is ever replaced or dropped.
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

// The whole file as bytes, less one leading UTF-8 byte-order mark.
std::string read_file_bytes(const std::filesystem::path& path);

// prefix + the span's bytes, for messages that quote untrusted bytes.
std::string concat_message(const char* prefix, const char* data, std::size_t size);

// For showing an exception text: never throws. Strict UTF-8 first; texts built by the runtime
// from the ANSI code page fall back to that code page; anything else gets a fixed text.
std::wstring display_text(std::string_view text) noexcept;

}  // namespace bx
