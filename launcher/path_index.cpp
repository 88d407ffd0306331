#include "launcher/path_index.h"

#include "launcher/managed_state.h"
#include "launcher/path_checks.h"
#include "launcher/text.h"
#include "launcher/windows_path.h"

#include <cstdint>

namespace bx {
namespace {

bool is_ascii(std::string_view text) noexcept {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// FNV-1a over UTF-16 units, so that an ASCII path hashes its bytes as the units they are.
struct UnitHash {
    std::uint64_t value = 14695981039346656037ull;
    void add(std::uint32_t unit) noexcept {
        value = (value ^ unit) * 1099511628211ull;
    }
};

}  // namespace

std::size_t RelativePathIndex::FoldedHash::operator()(std::string_view path) const {
    UnitHash hash;
    if (is_ascii(path)) {
        // The file system folds A-Z to upper case and leaves the rest of ASCII alone.
        for (const char c : path) {
            hash.add(c >= 'a' && c <= 'z' ? static_cast<std::uint32_t>(c - ('a' - 'A'))
                                          : static_cast<std::uint32_t>(c));
        }
    } else {
        for (const wchar_t unit : file_name_key(utf8_to_wide(path))) {
            hash.add(unit);
        }
    }
    return static_cast<std::size_t>(hash.value);
}

bool RelativePathIndex::SameFile::operator()(std::string_view left, std::string_view right) const {
    if (is_ascii(left) && is_ascii(right)) {
        return ascii_iequals(left, right);
    }
    return same_relative_path(left, right);
}

bool RelativePathIndex::insert(std::string_view path, std::size_t position) {
    return positions_.emplace(path, position).second;
}

std::size_t RelativePathIndex::find(std::string_view path) const {
    const auto found = positions_.find(path);
    return found == positions_.end() ? npos : found->second;
}

}  // namespace bx
