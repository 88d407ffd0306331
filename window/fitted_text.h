// Texts cut to the room they are given, with an ellipsis where they were cut: the player sees
// whole letters, never a letter cut in half or a line drawn over its neighbour.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace bx {

// `text` whole when `measure` finds it no wider than `width`; otherwise as many of its
// first characters as leave room for the ellipsis that then ends it. Never splits a
// surrogate pair, never ends on the lone '&' of a mnemonic, and drops the blanks before the
// ellipsis.
std::wstring fit_one_line(std::wstring_view text, int width,
                          const std::function<int(std::wstring_view)>& measure);

// `text` whole when `fits` accepts it. Otherwise, when it names a path, the characters just
// before the path's last component give way to an ellipsis, so that the file name stays
// ("Descargando data/mu…/final.bin…"); when there is no path, or not even the file name fits,
// the text is cut at its end. A text that ends in an ellipsis of its own never shows two.
// `fits` must accept a shorter cut wherever it accepts a longer one.
std::wstring fit_message(std::wstring_view text,
                         const std::function<bool(std::wstring_view)>& fits);

}  // namespace bx
