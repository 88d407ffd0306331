#include "window/secret_edit.h"

#include <algorithm>
#include <string>

namespace bx {

namespace {

constexpr wchar_t kFiller = L'*';

void replace_selection(HWND edit, int from, int to, const std::wstring& text, bool undoable) {
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
    SendMessageW(edit, EM_REPLACESEL, undoable ? TRUE : FALSE,
                 reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

void wipe_edit_text(HWND edit, int longestLength) {
    const int length = GetWindowTextLengthW(edit);
    const int longest = std::max(length, longestLength);
    // The box shows nothing of the steps, only the empty box at the end.
    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    // One character at a time: the box copies a replaced selection on its way out, and a copy
    // of one character is no piece of the secret. Equal lengths need no larger buffer, so the
    // text is overwritten where it stands.
    const std::wstring one(1, kFiller);
    for (int i = 0; i < length; ++i) {
        replace_selection(edit, i, i + 1, one, false);
    }
    // Past the end, up to where a longer text reached: the buffer already held that much, so
    // it does not move.
    if (longest > length) {
        replace_selection(edit, length, length,
                          std::wstring(static_cast<std::size_t>(longest - length), kFiller),
                          false);
    }
    // Deleted as an undoable edit, so that the undo buffer takes the filler over whatever it
    // held; then it is emptied.
    replace_selection(edit, 0, -1, std::wstring(), true);
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit, nullptr, TRUE);
}

}  // namespace bx
