#include "window/fitted_text.h"

namespace bx {

namespace {

constexpr wchar_t kEllipsis = L'\u2026';

bool is_high_surrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The first `count` characters, cut back to where an ellipsis may follow.
std::wstring_view cut_before_ellipsis(std::wstring_view text, std::size_t count) {
    std::wstring_view head = text.substr(0, count);
    if (!head.empty() && is_high_surrogate(head.back())) {
        head.remove_suffix(1);
    }
    // An odd run of '&' at the end would underline the ellipsis instead of showing an '&'.
    std::size_t ampersands = 0;
    while (ampersands < head.size() && head[head.size() - 1 - ampersands] == L'&') {
        ++ampersands;
    }
    if (ampersands % 2 == 1) {
        head.remove_suffix(1);
    }
    while (!head.empty() && (head.back() == L' ' || head.back() == L'\t')) {
        head.remove_suffix(1);
    }
    return head;
}

std::wstring with_ellipsis(std::wstring_view head) {
    std::wstring shown(head);
    shown.push_back(kEllipsis);
    return shown;
}

}  // namespace

std::wstring fit_one_line(std::wstring_view text, int width,
                          const std::function<int(std::wstring_view)>& measure) {
    if (measure(text) <= width) {
        return std::wstring(text);
    }
    // The widths grow with the count, so the longest head that fits is found by halving.
    std::size_t fits = 0;
    std::size_t tooLong = text.size();
    while (tooLong - fits > 1) {
        const std::size_t middle = fits + (tooLong - fits) / 2;
        if (measure(with_ellipsis(cut_before_ellipsis(text, middle))) <= width) {
            fits = middle;
        } else {
            tooLong = middle;
        }
    }
    return with_ellipsis(cut_before_ellipsis(text, fits));
}

}  // namespace bx
