#include "launcher/sync/game_folder.h"

#include "launcher/platform/ascii.h"
#include "launcher/platform/atomic_file.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"

#include <algorithm>

namespace bx {
namespace {

namespace fs = std::filesystem;

// The state file's temporary name, formed as every write of the state forms it.
const std::wstring& state_temporary_name() {
    static const std::wstring name = temporary_path_for(fs::path(kManagedStateFileName)).native();
    return name;
}

// `relative` is `name` or lies beneath it.
bool is_or_lies_beneath(std::wstring_view relative, std::wstring_view name) {
    if (relative.size() < name.size() ||
        (relative.size() > name.size() && !is_path_separator(relative[name.size()]))) {
        return false;
    }
    return same_file_name(relative.substr(0, name.size()), name);
}

bool is_or_lies_beneath_ascii(std::string_view relative, std::wstring_view name) {
    if (relative.size() < name.size() ||
        (relative.size() > name.size() && relative[name.size()] != '/')) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (static_cast<wchar_t>(ascii_lower(relative[i])) != name[i]) return false;
    }
    return true;
}

std::wstring with_slashes(std::wstring text) {
    std::replace(text.begin(), text.end(), L'\\', L'/');
    return text;
}

// One of the launcher's own working names directly in the game directory: the ownership state
// file, its ".tmp", or anything beneath either (a directory standing there would make every
// later save fail).
bool is_managed_state_name(std::wstring_view relative) {
    return is_or_lies_beneath(relative, kManagedStateFileName) ||
           is_or_lies_beneath(relative, state_temporary_name());
}

}  // namespace

GameFolder::GameFolder(fs::path directory, const fs::path& executable)
    : directory_(std::move(directory)), prefix_(directory_.native()) {
    if (prefix_.empty() || !is_path_separator(prefix_.back())) {
        prefix_ += L'\\';
    }
    if (executable.empty()) {
        return;
    }
    // The launcher as Windows opens it, below the directory as Windows opens that, so that a
    // short name in either spelling changes nothing.
    const fs::path openedExecutable = path_as_opened(executable);
    const fs::path& opened = opened_directory();
    if (is_path_within(openedExecutable, opened)) {
        executableBelow_ = with_slashes(text_below(openedExecutable, opened));
    } else if (is_path_within(executable, directory_)) {
        executableBelow_ = with_slashes(text_below(executable, directory_));
    }
}

const fs::path& GameFolder::opened_directory() const {
    if (!openedDirectory_) {
        openedDirectory_ = path_as_opened(directory_);
    }
    return *openedDirectory_;
}

bool GameFolder::names_launcher(std::wstring_view relative) const {
    return !executableBelow_.empty() && relative.size() == executableBelow_.size() &&
           same_file_name(relative, executableBelow_);
}

GameFolder::Refusal GameFolder::judge(std::wstring_view relative) const {
    if (is_managed_state_name(relative)) {
        return Refusal::state;
    }
    if (names_launcher(relative)) {
        return Refusal::launcher;
    }
    // Trailing dots and blanks and device names are refused before this, so only a segment
    // holding '~' can be a generated 8.3 name of some other file.
    if (relative.find(L'~') == std::wstring_view::npos) {
        return Refusal::none;
    }
    const fs::path opened = path_as_opened(full_path(relative));
    const fs::path& openedDirectory = opened_directory();
    if (!is_path_within(opened, openedDirectory)) {
        return Refusal::escapes;
    }
    const std::wstring below = with_slashes(text_below(opened, openedDirectory));
    if (is_managed_state_name(below)) {
        return Refusal::state;
    }
    if (names_launcher(below)) {
        return Refusal::launcher;
    }
    return same_file_name(below, relative) ? Refusal::none : Refusal::unsafe;
}

GameFolder::Refusal GameFolder::judge(std::string_view relative) const {
    const bool plain = executableBelow_.empty() && is_ascii(relative) &&
                       relative.find('~') == std::string_view::npos;
    if (!plain) {
        return judge(std::wstring_view(utf8_to_wide(relative)));
    }
    // ASCII folds only A-Z, so the launcher's own ASCII names compare byte by byte.
    return is_or_lies_beneath_ascii(relative, kManagedStateFileName) ||
                   is_or_lies_beneath_ascii(relative, state_temporary_name())
               ? Refusal::state
               : Refusal::none;
}

fs::path GameFolder::full_path(std::wstring_view relative) const {
    std::wstring full = prefix_;
    const std::size_t start = full.size();
    full.append(relative);
    std::replace(full.begin() + static_cast<std::ptrdiff_t>(start), full.end(), L'/', L'\\');
    return fs::path(std::move(full));
}

}  // namespace bx
