// How the launcher window draws itself: the background, the hero panel (colour, picture, fade,
// stripes, texts and footer), the login panel, and the two owner-drawn buttons. Everything
// comes from the branding and from the objects the window prepared; nothing here is kept.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "window/gdiplus_headers.h"

#include "launcher/config/config.h"

namespace bx {

// The window's own objects that painting draws with; they stay the window's.
struct PaintObjects {
    HBRUSH backgroundBrush = nullptr;
    HBRUSH panelBrush = nullptr;
    HFONT bodyFont = nullptr;
    HFONT labelFont = nullptr;
    HFONT titleFont = nullptr;
    HFONT buttonFont = nullptr;
    Gdiplus::Bitmap* heroBitmap = nullptr;  // 32-bit premultiplied, or none
    RECT panelRect{};
    int heroWidth = 0;  // from the same layout as panelRect
    int dpi = 96;
};

// The whole client area of `clientWidth` x `clientHeight`, straight into `dc`.
void paint_window(HDC dc, int clientWidth, int clientHeight, const LauncherConfig& config,
                  const PaintObjects& objects);

// How a status text fits the status line's rectangle: a text's last line after a line feed
// (a progress report's figures) stays whole on a line of its own; the message above it gets
// the lines that are left and, where it needs more, gives way with an ellipsis (for a path,
// in its middle, so that the file name stays). Measured in the font selected into `dc`.
struct StatusLines {
    std::wstring message;
    RECT messageRect{};
    std::wstring figures;  // empty for a text without a line feed
    RECT figuresRect{};
};
StatusLines plan_status_line(HDC dc, const RECT& rect, std::wstring_view text);

// The owner-drawn status line: its text in `color` on the panel, as plan_status_line lays it
// out. (A static's own ellipsis style would fold the two-line progress text onto one line,
// and its word-wrapped lines would push the figures out of sight.)
void draw_status_line(const DRAWITEMSTRUCT& item, HBRUSH panelBrush, HFONT font,
                      std::uint32_t color);

// One owner-drawn button; `play` picks the play button's look, else the download/verify one.
void draw_button(const DRAWITEMSTRUCT& item, bool play, const BrandingColors& colors,
                 HFONT buttonFont);

}  // namespace bx
