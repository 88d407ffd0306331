// ASCII's own rules, for texts that follow them: hexadecimal digests and colours, URL schemes,
// drive letters, device names, the command line's options. (File names fold letter case as the
// file system does, beyond A-Z: see same_file_name.)
#pragma once

#include <string_view>

namespace bx {

template <class Char>
constexpr bool is_ascii_upper(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z');
}

template <class Char>
constexpr bool is_ascii_lower(Char c) noexcept {
    return c >= Char('a') && c <= Char('z');
}

template <class Char>
constexpr bool is_ascii_letter(Char c) noexcept {
    return is_ascii_upper(c) || is_ascii_lower(c);
}

template <class Char>
constexpr bool is_ascii_digit(Char c) noexcept {
    return c >= Char('0') && c <= Char('9');
}

// A-Z to a-z; everything else as it is.
template <class Char>
constexpr Char ascii_lower(Char c) noexcept {
    return is_ascii_upper(c) ? static_cast<Char>(c + ('a' - 'A')) : c;
}

// a-z to A-Z; everything else as it is.
template <class Char>
constexpr Char ascii_upper(Char c) noexcept {
    return is_ascii_lower(c) ? static_cast<Char>(c - ('a' - 'A')) : c;
}

template <class Char>
constexpr bool is_hex_digit(Char c) noexcept {
    return is_ascii_digit(c) || (c >= Char('a') && c <= Char('f')) ||
           (c >= Char('A') && c <= Char('F'));
}

// The value 0-15 of a hexadecimal digit of either case; the caller has checked is_hex_digit.
template <class Char>
constexpr unsigned hex_value(Char c) noexcept {
    return is_ascii_digit(c) ? static_cast<unsigned>(c - Char('0'))
                             : static_cast<unsigned>(ascii_lower(c) - Char('a')) + 10;
}

// The lower-case hexadecimal digit of the low four bits of `value`.
constexpr char hex_digit(unsigned value) noexcept { return "0123456789abcdef"[value & 0xF]; }

// Equal ignoring the case of the ASCII letters only (hex digests, option names).
template <class Char>
constexpr bool ascii_iequals(std::basic_string_view<Char> a,
                             std::basic_string_view<Char> b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) {
            return false;
        }
    }
    return true;
}

constexpr bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    return ascii_iequals<char>(a, b);
}

constexpr bool ascii_iequals(std::wstring_view a, std::wstring_view b) noexcept {
    return ascii_iequals<wchar_t>(a, b);
}

}  // namespace bx
