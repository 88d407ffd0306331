// A caption cut to the width it is given, for a control that has no ellipsis style of its
// own: the player sees whole letters and an ellipsis instead of a letter cut in half.
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

}  // namespace bx
