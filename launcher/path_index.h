#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>

namespace bx {

// Positions of relative paths (UTF-8) in a list, looked up by the file that they name: letter
// case folded as the file system folds it, as same_relative_path compares. It keeps no copies:
// each entry refers to the text of the list's own path, which must stay where it is (the list
// neither reallocated nor that path changed) while the index is in use.
class RelativePathIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    void reserve(std::size_t count) { positions_.reserve(count); }

    // Adds `path` at `position`; false, adding nothing, when an equal path is there already.
    bool insert(std::string_view path, std::size_t position);

    // The position of the path equal to `path`, or npos.
    std::size_t find(std::string_view path) const;

private:
    struct FoldedHash {
        std::size_t operator()(std::string_view path) const;
    };
    struct SameFile {
        bool operator()(std::string_view left, std::string_view right) const;
    };

    std::unordered_map<std::string_view, std::size_t, FoldedHash, SameFile> positions_;
};

}  // namespace bx
