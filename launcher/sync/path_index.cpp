#include "launcher/sync/path_index.h"

#include "launcher/platform/ascii.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"

#include <cstdint>
#include <stdexcept>

namespace bx {
namespace {

// FNV-1a over UTF-16 units, so that an ASCII path hashes its bytes as the units they are.
struct UnitHash {
    std::uint64_t value = 14695981039346656037ull;
    void add(std::uint32_t unit) noexcept {
        value = (value ^ unit) * 1099511628211ull;
    }
};

// The same value for two paths that name one file.
std::uint32_t folded_hash(std::string_view path) {
    UnitHash hash;
    if (is_ascii(path)) {
        // The file system folds A-Z to upper case and leaves the rest of ASCII alone.
        for (const char c : path) {
            hash.add(static_cast<std::uint32_t>(ascii_upper(c)));
        }
    } else {
        for (const wchar_t unit : file_name_key(utf8_to_wide(path))) {
            hash.add(unit);
        }
    }
    // Both halves, so that the table's mask sees every unit.
    return static_cast<std::uint32_t>(hash.value ^ (hash.value >> 32));
}

bool same_file(std::string_view left, std::string_view right) {
    if (is_ascii(left) && is_ascii(right)) {
        return ascii_iequals(left, right);
    }
    return same_relative_path(left, right);
}

}  // namespace

void RelativePathIndex::reserve(std::size_t count) {
    std::size_t slots = 16;
    while (slots / 4 * 3 < count) slots *= 2;
    if (slots > slots_.size()) grow(slots);
}

std::size_t RelativePathIndex::slot_for(std::string_view path, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.position == kFree || (slot.hash == hash && same_file(slot.path, path))) {
            return i;
        }
    }
}

void RelativePathIndex::grow(std::size_t slots) {
    std::vector<Slot> old(slots, Slot{});
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.position != kFree) slots_[slot_for(slot.path, slot.hash)] = slot;
    }
}

bool RelativePathIndex::insert(std::string_view path, std::size_t position) {
    if (position >= kFree) throw std::length_error("Too many paths to index");
    if (used_ + 1 > slots_.size() / 4 * 3) grow(slots_.empty() ? 16 : 2 * slots_.size());
    const std::uint32_t hash = folded_hash(path);
    Slot& slot = slots_[slot_for(path, hash)];
    if (slot.position != kFree) return false;
    slot = Slot{path, hash, static_cast<std::uint32_t>(position)};
    ++used_;
    return true;
}

std::size_t RelativePathIndex::find(std::string_view path) const {
    if (slots_.empty()) return npos;
    const Slot& slot = slots_[slot_for(path, folded_hash(path))];
    return slot.position == kFree ? npos : slot.position;
}

bool same_relative_path(std::string_view left, std::string_view right) {
    const std::wstring first = utf8_to_wide(left);
    const std::wstring second = utf8_to_wide(right);
    return same_file_name(first, second);
}

}  // namespace bx
