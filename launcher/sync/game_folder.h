#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace bx {

inline constexpr std::wstring_view kManagedStateFileName = L".kadeorvindal-managed.json";

// Where a relative path from the manifest or the ownership state lands in the game directory,
// and whether it may be written there. What depends only on the directory (its text, the
// launcher's own names in it, the launcher's executable) is worked out once; each path is then
// judged on its text alone. Only a path that holds a '~' may be an 8.3 alias of another name,
// so only such a path asks the disk how Windows opens it.
class GameFolder {
public:
    enum class Refusal {
        none,
        unsafe,    // an alias of another name in the directory
        escapes,   // Windows would open a file outside the directory
        state,     // the ownership state file, its temporary file, or beneath either
        launcher,  // the running launcher
    };

    // `directory` is absolute and normal. `executable` is the running launcher, to be guarded
    // as well; empty when there is none to guard.
    explicit GameFolder(std::filesystem::path directory,
                        const std::filesystem::path& executable = {});

    const std::filesystem::path& directory() const noexcept { return directory_; }

    // Judges `relative`, the UTF-16 text of a '/'-separated path that already passed
    // is_safe_relative_path and has_windows_alias_segment. The answer reflects the disk as it
    // is at the call: a file that an alias names may exist by now.
    Refusal judge(std::wstring_view relative) const;
    // The same for the UTF-8 text; an ASCII path without '~' is judged without converting it.
    Refusal judge(std::string_view relative) const;

    // The absolute, normal path of such a relative path: the directory, one separator, and
    // the path with backslashes.
    std::filesystem::path full_path(std::wstring_view relative) const;

private:
    const std::filesystem::path& opened_directory() const;
    bool names_launcher(std::wstring_view relative) const;

    std::filesystem::path directory_;
    std::wstring prefix_;  // the directory's text with one trailing separator
    std::wstring executableBelow_;  // the launcher's path below the directory, '/'-separated
    mutable std::optional<std::filesystem::path> openedDirectory_;
};

}  // namespace bx
