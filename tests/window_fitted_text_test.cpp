#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "window/fitted_text.h"

namespace {

// Ten pixels a character: the cut is easy to see.
int ten_per_character(std::wstring_view text) { return static_cast<int>(text.size()) * 10; }

TEST(FittedText, CutsAfterWholeCharactersAndEndsWithAnEllipsis) {
    struct Case {
        const wchar_t* text;
        int width;
        const wchar_t* shown;
    };
    for (const Case& c : {
             Case{L"Recordar", 80, L"Recordar"},           // fits exactly: unchanged
             Case{L"Recordar", 79, L"Record\u2026"},       // seven and the ellipsis fit
             Case{L"ab cd", 40, L"ab\u2026"},              // no blank before the ellipsis
             Case{L"a&&b", 30, L"a\u2026"},                // never half of an "&&"
             Case{L"a&bc", 30, L"a\u2026"},                // never a mnemonic on the ellipsis
             Case{L"ab\U0001F600cd", 40, L"ab\u2026"},     // never half a surrogate pair
             Case{L"Recordar", 5, L"\u2026"},              // room for nothing but the mark
             Case{L"", 0, L""},
         }) {
        EXPECT_EQ(bx::fit_one_line(c.text, c.width, ten_per_character), c.shown)
            << "'" << testing::PrintToString(std::wstring(c.text)) << "' in " << c.width;
    }
}

TEST(FittedText, TheCutTextIsNeverWiderThanItsRoom) {
    // Proportional widths: 'W' is wide, 'i' narrow, so the cut is not a fixed count.
    const auto proportional = [](std::wstring_view text) {
        int width = 0;
        for (const wchar_t c : text) {
            width += c == L'W' ? 17 : c == L'i' ? 4 : c == L'\u2026' ? 12 : 9;
        }
        return width;
    };
    const std::wstring text = L"WiWiiWWiRecordarUsuarioEnEstaPCiiiWWW";
    for (int width = 12; width < proportional(text); width += 7) {
        const std::wstring shown = bx::fit_one_line(text, width, proportional);
        EXPECT_LE(proportional(shown), width) << width;
        EXPECT_EQ(shown.back(), L'\u2026') << width;
        // One more character of the text would not have fitted.
        const std::size_t kept = shown.size() - 1;
        EXPECT_GT(proportional(text.substr(0, kept + 1) + L'\u2026'), width) << width;
    }
}

// A box of `lines` lines of `perLine` characters, filled character by character as an edit
// control breaks a word that is longer than its line.
std::function<bool(std::wstring_view)> lines_of(std::size_t perLine, std::size_t lines) {
    return [=](std::wstring_view text) { return text.size() <= perLine * lines; };
}

TEST(FittedMessage, APathGivesWayInItsMiddleSoThatTheFileNameStays) {
    struct Case {
        const wchar_t* text;
        std::size_t room;
        const wchar_t* shown;
    };
    for (const Case& c : {
             // Fits: unchanged, its own ellipsis and all.
             Case{L"Descargando data/a.pak\u2026", 30, L"Descargando data/a.pak\u2026"},
             // The folders before the file name give way; one ellipsis at the end, not two.
             Case{L"Descargando data/maps/north/final.bin\u2026", 30,
                  L"Descargando data/m\u2026/final.bin\u2026"},
             Case{L"Verificando C:\\Juegos\\datos\\mundo.pak", 25,
                  L"Verificando C:\u2026\\mundo.pak"},
             // Not even "\u2026/name" fits: cut at the end, still with one ellipsis.
             Case{L"Descargando data/un_nombre_de_archivo_muy_largo.bin\u2026", 12,
                  L"Descargando\u2026"},
             // No path: cut at the end.
             Case{L"No se pudo conectar con el servidor.", 20, L"No se pudo conectar\u2026"},
             Case{L"Iniciando sesi\u00f3n\u2026", 8, L"Inician\u2026"},
         }) {
        EXPECT_EQ(bx::fit_message(c.text, lines_of(c.room, 1)), c.shown)
            << testing::PrintToString(std::wstring(c.text)) << " in " << c.room;
    }
}

}  // namespace
