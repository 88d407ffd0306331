// An edit box that held a secret, emptied so that the secret is not left in the box's memory.
#pragma once

#include <windows.h>

namespace bx {

// Overwrites the text of `edit` where the box keeps it, then empties the box. `longestLength`
// is the longest text the box has held since it was last wiped: a shorter text leaves the
// rest of a longer one in the box's buffer past its end, which is overwritten as well. The box's
// undo buffer, which holds the text last deleted, is left holding only filler.
void wipe_edit_text(HWND edit, int longestLength);

}  // namespace bx
