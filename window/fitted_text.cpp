#include "window/fitted_text.h"

#include <algorithm>

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

// The largest count in [0, limit) that `fits`, found by halving; `fits(0)` is taken as true.
// The candidates grow with the count, so a count that fits has only fitting ones below it.
std::size_t longest_fitting(std::size_t limit, const std::function<bool(std::size_t)>& fits) {
    std::size_t fitting = 0;
    std::size_t tooLong = limit;
    while (tooLong - fitting > 1) {
        const std::size_t middle = fitting + (tooLong - fitting) / 2;
        if (fits(middle)) {
            fitting = middle;
        } else {
            tooLong = middle;
        }
    }
    return fitting;
}

bool is_path_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace

std::wstring fit_one_line(std::wstring_view text, int width,
                          const std::function<int(std::wstring_view)>& measure) {
    if (measure(text) <= width) {
        return std::wstring(text);
    }
    const auto cut = [text](std::size_t count) {
        return with_ellipsis(cut_before_ellipsis(text, count));
    };
    return cut(longest_fitting(text.size(), [&](std::size_t count) {
        return measure(cut(count)) <= width;
    }));
}

std::wstring fit_message(std::wstring_view text,
                         const std::function<bool(std::wstring_view)>& fits) {
    if (fits(text)) {
        return std::wstring(text);
    }
    // The cut's ellipsis stands in for the text's own at the end.
    std::wstring_view body = text;
    if (!body.empty() && body.back() == kEllipsis) {
        body.remove_suffix(1);
    }

    // Just after the last separator; 0 when there is none.
    const std::size_t afterSeparator = static_cast<std::size_t>(
        std::find_if(body.rbegin(), body.rend(), is_path_separator).base() - body.begin());
    if (afterSeparator > 1) {
        // From the last separator on, the file name stays whole, with the text's own ending.
        const std::wstring_view head = body.substr(0, afterSeparator - 1);
        const std::wstring_view name = text.substr(afterSeparator - 1);
        const auto cut = [&](std::size_t count) {
            return with_ellipsis(cut_before_ellipsis(head, count)).append(name);
        };
        if (fits(cut(0))) {
            return cut(longest_fitting(head.size(), [&](std::size_t count) {
                return fits(cut(count));
            }));
        }
    }
    const auto cut = [body](std::size_t count) {
        return with_ellipsis(cut_before_ellipsis(body, count));
    };
    return cut(longest_fitting(body.size(), [&](std::size_t count) { return fits(cut(count)); }));
}

}  // namespace bx
