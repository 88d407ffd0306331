// How the launcher window draws itself: the background, the hero panel (colour, picture, fade,
// stripes, texts and footer), the login panel, and the two owner-drawn buttons. Everything
// comes from the branding and from the objects the window prepared; nothing here is kept.
#pragma once

#include <windows.h>

#include <cstdint>

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

// The owner-drawn status line: its text in `color` on the panel, on as many whole lines as
// fit, the last one ending in an ellipsis when the text goes on. (A static's own ellipsis
// style would fold the two-line progress text onto one line.)
void draw_status_line(const DRAWITEMSTRUCT& item, HBRUSH panelBrush, HFONT font,
                      std::uint32_t color);

// One owner-drawn button; `play` picks the play button's look, else the download/verify one.
void draw_button(const DRAWITEMSTRUCT& item, bool play, const BrandingColors& colors,
                 HFONT buttonFont);

}  // namespace bx
