#include "window/painting.h"

#include <algorithm>
#include <string>

#include "launcher/platform/unique.h"
#include "window/fitted_text.h"
#include "window/gdi.h"
#include "window/layout.h"
#include "window/texts.h"

namespace bx {

namespace {

// A text that does not fit its rectangle shows whole lines only and ends in an ellipsis,
// instead of letters cut in half.
constexpr UINT kOneLine = DT_SINGLELINE | DT_END_ELLIPSIS;
constexpr UINT kWholeLines = DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS;
// The status line's message, which is cut to fit before it is drawn: what a left-aligned
// static draws with, word-wrapped.
constexpr UINT kStatusMessage = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_EDITCONTROL;
constexpr UINT kStatusFigures = DT_LEFT | DT_EXPANDTABS | kOneLine;

void fill_solid(HDC dc, const RECT& rect, std::uint32_t color) {
    const UniqueBrush brush(CreateSolidBrush(to_colorref(color)));
    FillRect(dc, &rect, brush.get());
}

void draw_text(HDC dc, const std::wstring& text, HFONT font, std::uint32_t color, RECT rect,
               UINT flags) {
    const SelectedObject selected(dc, font);
    SetTextColor(dc, to_colorref(color));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
}

Gdiplus::Color argb(std::uint32_t rgb, BYTE alpha) {
    return Gdiplus::Color(alpha, static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8),
                          static_cast<BYTE>(rgb));
}

// The picture covers the hero area (cut equally on the long side), then fades into the
// background towards the panel.
void draw_hero_picture(HDC dc, Gdiplus::Bitmap& picture, int heroWidth, int height, int dpi,
                       std::uint32_t background) {
    const double w = picture.GetWidth();
    const double h = picture.GetHeight();
    if (w <= 0 || h <= 0) {
        return;
    }
    const double scale = std::max(heroWidth / w, height / h);
    const double sourceWidth = heroWidth / scale;
    const double sourceHeight = height / scale;
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.DrawImage(&picture,
                       Gdiplus::RectF(0.0f, 0.0f, static_cast<Gdiplus::REAL>(heroWidth),
                                      static_cast<Gdiplus::REAL>(height)),
                       static_cast<Gdiplus::REAL>((w - sourceWidth) * 0.5),
                       static_cast<Gdiplus::REAL>((h - sourceHeight) * 0.5),
                       static_cast<Gdiplus::REAL>(sourceWidth),
                       static_cast<Gdiplus::REAL>(sourceHeight), Gdiplus::UnitPixel);

    const int fade = scale_length(36, dpi);
    Gdiplus::LinearGradientBrush brush(Gdiplus::Point(heroWidth - fade - 1, 0),
                                       Gdiplus::Point(heroWidth + 1, 0), argb(background, 0),
                                       argb(background, 255));
    brush.SetWrapMode(Gdiplus::WrapModeTile);
    graphics.FillRectangle(&brush, heroWidth - fade, 0, fade, height);
}

void fill_polygon(HDC dc, const POINT (&points)[4], std::uint32_t color) {
    const UniqueBrush brush(CreateSolidBrush(to_colorref(color)));
    const SelectedObject pen(dc, GetStockObject(NULL_PEN));
    const SelectedObject selected(dc, brush.get());
    Polygon(dc, points, 4);
}

void draw_stripes(HDC dc, int c, int height, int dpi, const BrandingColors& colors) {
    const auto s = [dpi](int n) { return scale_length(n, dpi); };
    const POINT dark[4] = {{c - s(210), 0}, {c, 0}, {c, height}, {c - s(70), height}};
    fill_polygon(dc, dark, colors.darkStripe);
    const POINT accent[4] = {
        {c - s(125), 0}, {c - s(70), 0}, {c - s(250), height}, {c - s(305), height}};
    fill_polygon(dc, accent, colors.accentStripe);
}

void draw_hero_texts(HDC dc, int c, int height, const LauncherConfig& config,
                     const PaintObjects& objects) {
    const auto s = [&objects](int n) { return scale_length(n, objects.dpi); };
    const LauncherBranding& branding = config.branding;
    const BrandingColors& colors = branding.colors;
    const int x = s(50);

    draw_text(dc, branding.eyebrow, objects.labelFont, colors.accent, {x, s(61), c - x, s(86)},
              kOneLine);
    draw_text(dc, hero_headline(branding.heroTitle, config.serverName), objects.titleFont,
              colors.text, {x, s(100), c - s(40), s(205)}, kWholeLines);
    fill_solid(dc, {x, s(205), x + s(56), s(209)}, colors.accent);
    draw_text(dc, branding.heroDescription, objects.bodyFont, colors.muted,
              {x, s(239), c - s(70), s(340)}, kWholeLines);

    if (!branding.showProtocol) {
        return;
    }
    {
        const UniquePen pen(CreatePen(PS_SOLID, 1, to_colorref(colors.border)));
        const SelectedObject selected(dc, pen.get());
        MoveToEx(dc, x, height - s(112), nullptr);
        LineTo(dc, c - s(90), height - s(112));
    }
    draw_text(dc, branding.protocolLabel, objects.labelFont, colors.muted,
              {x, height - s(87), c - x, height - s(65)}, kOneLine);
    draw_text(dc, branding.protocolText, objects.labelFont, colors.text,
              {x, height - s(61), c - x, height - s(35)}, kOneLine);
}

}  // namespace

void paint_window(HDC dc, int clientWidth, int clientHeight, const LauncherConfig& config,
                  const PaintObjects& objects) {
    const LauncherBranding& branding = config.branding;
    const RECT client{0, 0, clientWidth, clientHeight};
    FillRect(dc, &client, objects.backgroundBrush);

    const int c = objects.heroWidth;
    fill_solid(dc, {0, 0, c, clientHeight}, branding.colors.hero);
    if (objects.heroBitmap != nullptr) {
        draw_hero_picture(dc, *objects.heroBitmap, c, clientHeight, objects.dpi,
                          branding.colors.background);
    }
    FillRect(dc, &objects.panelRect, objects.panelBrush);
    if (branding.showStripes) {
        draw_stripes(dc, c, clientHeight, objects.dpi, branding.colors);
    }
    SetBkMode(dc, TRANSPARENT);
    if (branding.showHeroText) {
        // A hero that gave way to the panel is narrower than its texts' fixed starts: the
        // accent bar and the footer line must not reach over the panel.
        const ClipToRect clip(dc, {0, 0, c, clientHeight});
        draw_hero_texts(dc, c, clientHeight, config, objects);
    }
}

StatusLines plan_status_line(HDC dc, const RECT& rect, std::wstring_view text) {
    const int width = rect.right - rect.left;
    const auto measure = [dc, width](std::wstring_view shown, UINT flags) {
        RECT calc{0, 0, width, 0};
        DrawTextW(dc, shown.data(), static_cast<int>(shown.size()), &calc, flags | DT_CALCRECT);
        return calc;
    };
    StatusLines lines;
    std::wstring_view message = text;
    int figuresHeight = 0;
    const std::size_t lineFeed = text.rfind(L'\n');
    if (lineFeed != std::wstring_view::npos) {
        message = text.substr(0, lineFeed);
        lines.figures = std::wstring(text.substr(lineFeed + 1));
        figuresHeight = measure(lines.figures, kStatusFigures).bottom;
    }
    const int room = rect.bottom - rect.top - figuresHeight;
    const auto fits = [&](std::wstring_view shown) {
        const RECT calc = measure(shown, kStatusMessage);
        return calc.right <= width && calc.bottom <= room;
    };
    // Where not even one line is left for the message, the figures show alone.
    if (fits(L"\u2026")) {
        lines.message = fit_message(message, fits);
    }
    const int messageHeight =
        lines.message.empty() ? 0 : measure(lines.message, kStatusMessage).bottom;
    lines.messageRect = {rect.left, rect.top, rect.right, rect.top + messageHeight};
    lines.figuresRect = {rect.left, rect.top + messageHeight, rect.right,
                         rect.top + messageHeight + figuresHeight};
    return lines;
}

void draw_status_line(const DRAWITEMSTRUCT& item, HBRUSH panelBrush, HFONT font,
                      std::uint32_t color) {
    FillRect(item.hDC, &item.rcItem, panelBrush);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size())), 0)));
    SetBkMode(item.hDC, TRANSPARENT);
    const SelectedObject selected(item.hDC, font);
    const StatusLines lines = plan_status_line(item.hDC, item.rcItem, text);
    draw_text(item.hDC, lines.message, font, color, lines.messageRect, kStatusMessage);
    draw_text(item.hDC, lines.figures, font, color, lines.figuresRect, kStatusFigures);
}

void draw_button(const DRAWITEMSTRUCT& item, bool play, const BrandingColors& colors,
                 HFONT buttonFont) {
    HDC dc = item.hDC;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    std::uint32_t fill = play ? colors.accent : colors.card;
    if (disabled) {
        fill = scale_channels(colors.muted, 55);
    } else if ((item.itemState & ODS_SELECTED) != 0) {
        fill = scale_channels(fill, 80);
    }
    fill_solid(dc, item.rcItem, fill);

    if (!play) {
        const UniquePen pen(CreatePen(PS_SOLID, 1, to_colorref(colors.border)));
        const SelectedObject selectedPen(dc, pen.get());
        const SelectedObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
    }

    wchar_t caption[128] = {};
    const int length = GetWindowTextW(item.hwndItem, caption, 128);
    SetBkMode(dc, TRANSPARENT);
    RECT rect = item.rcItem;
    draw_text(dc, std::wstring(caption, static_cast<std::size_t>(std::max(length, 0))),
              buttonFont, disabled ? colors.muted : colors.text, rect,
              DT_CENTER | DT_VCENTER | kOneLine);

    if ((item.itemState & ODS_FOCUS) != 0) {
        InflateRect(&rect, -3, -3);
        DrawFocusRect(dc, &rect);
    }
}

}  // namespace bx
