#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/platform/unique.h"
#include "window/painting.h"

namespace {

// The status line's font, as the window makes it at 96 DPI, in a screen-compatible DC.
class StatusLinePlan : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dc_, nullptr);
        ASSERT_TRUE(font_);
        previous_ = SelectObject(dc_, font_.get());
    }
    void TearDown() override {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }

    // The size DrawTextW gives `text` in a column of `width`, word-wrapped as the status
    // line draws its message.
    SIZE drawn(const std::wstring& text, int width) const {
        RECT calc{0, 0, width, 0};
        DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &calc,
                  DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_EDITCONTROL | DT_CALCRECT);
        return {calc.right, calc.bottom};
    }

    HDC dc_ = CreateCompatibleDC(nullptr);
    bx::UniqueFont font_{CreateFontW(-MulDiv(8, 96, 72), 0, 0, 0, 400, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                     L"Segoe UI")};
    HGDIOBJ previous_ = nullptr;
};

constexpr wchar_t kFigures[] = L"1.0 / 5.0 MB  (20%)   Archivo 2 de 3";

TEST_F(StatusLinePlan, TheFiguresStayWholeBelowAMessageThatGivesWay) {
    const std::wstring noBlanks = L"contenido/" + std::wstring(130, L'm') + L"/final.bin";
    const std::wstring blanks = L"contenido del juego/" + std::wstring(60, L'm') + L" " +
                                std::wstring(60, L'n') + L"/final.bin";
    // The status line at 96 DPI: 328 pixels wide with the default hero, 258 with hero 80.
    for (const int width : {328, 258}) {
        for (const std::wstring& path : {noBlanks, blanks}) {
            const std::wstring message = L"Descargando " + path + L"\u2026";
            const RECT rect{0, 0, width, 40};
            const bx::StatusLines lines =
                bx::plan_status_line(dc_, rect, message + L"\n" + kFigures);
            const std::string where = std::to_string(width) + " px, " +
                                      std::to_string(path.size()) + " characters";

            EXPECT_EQ(lines.figures, kFigures) << where;
            EXPECT_EQ(lines.figuresRect.top, lines.messageRect.bottom) << where;
            EXPECT_LE(lines.figuresRect.bottom, rect.bottom) << where;
            EXPECT_GE(lines.figuresRect.bottom - lines.figuresRect.top,
                      drawn(kFigures, width).cy)
                << where;

            // The message is cut in its middle: the verb and the file name stay, one ellipsis
            // ends it, and it fits the lines above the figures.
            EXPECT_EQ(lines.message.rfind(L"Descargando ", 0), 0u) << where;
            EXPECT_TRUE(lines.message.ends_with(L"\u2026/final.bin\u2026")) << where;
            EXPECT_EQ(lines.message.find(L"\u2026\u2026"), std::wstring::npos) << where;
            const SIZE size = drawn(lines.message, width);
            EXPECT_LE(size.cx, width) << where;
            EXPECT_LE(size.cy, lines.messageRect.bottom - lines.messageRect.top) << where;
            EXPECT_GT(size.cy, 0) << where;
        }
    }
}

TEST_F(StatusLinePlan, ATextThatFitsIsShownAsItIs) {
    const RECT rect{0, 0, 328, 40};
    const bx::StatusLines progress =
        bx::plan_status_line(dc_, rect, std::wstring(L"Descargando data/a.pak\u2026\n") + kFigures);
    EXPECT_EQ(progress.message, L"Descargando data/a.pak\u2026");
    EXPECT_EQ(progress.figures, kFigures);

    // Without a line feed there are no figures: the message has every line.
    const std::wstring failure =
        L"No se pudo conectar con el servidor. Puede estar en mantenimiento o un firewall lo "
        L"bloquea. (c\u00f3digo 12029)";
    const bx::StatusLines plain = bx::plan_status_line(dc_, rect, failure);
    EXPECT_EQ(plain.message, failure);
    EXPECT_EQ(plain.figures, L"");
    EXPECT_EQ(plain.figuresRect.top, plain.figuresRect.bottom);
}

}  // namespace
