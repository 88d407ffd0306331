#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace bx {

// True when two UTF-8 relative paths name the same file: letter case folded as the file system
// folds it (same_file_name); separators and dot segments are not normalised.
bool same_relative_path(std::string_view left, std::string_view right);

// Positions of relative paths (UTF-8) in a list, looked up by the file that they name: letter
// case folded as the file system folds it, as same_relative_path compares. It keeps no copies:
// each entry refers to the text of the list's own path, which must stay where it is (the list
// neither reallocated nor that path changed) while the index is in use. One table with open
// addressing holds everything, so indexing a large state costs no allocation per path.
class RelativePathIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    void reserve(std::size_t count);

    // Adds `path` at `position`; false, adding nothing, when an equal path is there already.
    bool insert(std::string_view path, std::size_t position);

    // The position of the path equal to `path`, or npos.
    std::size_t find(std::string_view path) const;

private:
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;

    struct Slot {
        std::string_view path;
        std::uint32_t hash = 0;
        std::uint32_t position = kFree;
    };

    // The slot that holds a path equal to `path`, or the free slot where it would go.
    std::size_t slot_for(std::string_view path, std::uint32_t hash) const;
    void grow(std::size_t slots);

    std::vector<Slot> slots_;  // a power of two in size, at most three quarters in use
    std::size_t used_ = 0;
};

}  // namespace bx
