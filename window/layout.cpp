#include "window/layout.h"

#include <algorithm>
#include <cstdint>

namespace bx {

namespace {

struct ColumnRow {
    int offset;  // from the panel top
    int height;
};

// Each control's offset and height at 96 DPI. A control without a row is a compile-time
// warning (the switch), not a silently empty row.
constexpr ColumnRow column_row(ColumnControl control) {
    switch (control) {
    case ColumnControl::heading: return {36, 34};
    case ColumnControl::serverState: return {72, 20};
    case ColumnControl::usernameLabel: return {108, 17};
    case ColumnControl::usernameEdit: return {126, 29};
    case ColumnControl::passwordLabel: return {188, 17};
    case ColumnControl::passwordEdit: return {206, 29};
    case ColumnControl::rememberCheck: return {258, 26};
    case ColumnControl::playButton: return {304, 48};
    case ColumnControl::downloadButton: return {358, 38};
    case ColumnControl::progressBar: return {414, 5};
    case ColumnControl::statusText: return {424, 40};
    case ColumnControl::count: break;
    }
    return {0, 0};
}

constexpr ColumnControl column_control(int index) { return static_cast<ColumnControl>(index); }

constexpr int kDesignClientWidth = 1020;
constexpr int kDesignClientHeight = 640;

// The narrowest the login panel gets, at 96 DPI.
constexpr int kDesignPanelWidth = 330;

// Where the bottom line's texts go: beside each other where both fit the column, else the link
// on a line of its own below the prompt.
bool bottom_line_wraps(int innerWidth, int dpi, int promptWidth, int linkWidth) {
    const auto s = [dpi](int n) { return scale_length(n, dpi); };
    return promptWidth + s(4) + s(6) + linkWidth + s(4) > innerWidth;
}

// The column's width in a panel of `panelWidth`.
int inner_width(int panelWidth, int dpi) { return panelWidth - scale_length(72, dpi); }

// The panel's height below which the bottom line, which hangs from the panel bottom, would
// run into the column, which hangs from the panel top.
int minimum_panel_height(int dpi, bool twoLines) {
    int columnBottom = 0;
    for (int i = 0; i < kColumnControlCount; ++i) {
        const ColumnRow row = column_row(column_control(i));
        columnBottom = std::max(columnBottom, scale_length(row.offset, dpi) +
                                                  scale_length(row.height, dpi));
    }
    return columnBottom + scale_length(42, dpi) + (twoLines ? scale_length(24, dpi) : 0);
}

}  // namespace

int scale_length(int designLength, int dpi) {
    // Same rounding as MulDiv(n, dpi, 96): to the nearest, halves away from zero.
    const std::int64_t product = static_cast<std::int64_t>(designLength) * dpi;
    const std::int64_t half = 48;
    return static_cast<int>(product >= 0 ? (product + half) / 96 : (product - half) / 96);
}

int minimum_panel_width(int dpi) { return scale_length(kDesignPanelWidth, dpi); }

int hero_width(int clientWidth, int dpi, int heroWidthPercent) {
    const int share = clientWidth * heroWidthPercent / 100;
    // What the panel and its two margins leave of the width, each margin scaled by itself as
    // the layout places it.
    const int margin = scale_length(40, dpi);
    const int left = clientWidth - margin - minimum_panel_width(dpi) - margin;
    return std::max(0, std::min(share, left));
}

WindowLayout compute_layout(int clientWidth, int clientHeight, int dpi, int heroWidthPercent,
                            int promptWidth, int linkWidth) {
    const auto s = [dpi](int n) { return scale_length(n, dpi); };
    WindowLayout layout;

    layout.heroWidth = hero_width(clientWidth, dpi, heroWidthPercent);
    const int x = s(40) + layout.heroWidth;
    const int y = s(40);
    const int width = std::max(clientWidth - x - s(40), minimum_panel_width(dpi));
    layout.innerLeft = x + s(36);
    layout.innerWidth = inner_width(width, dpi);
    const bool twoLines = bottom_line_wraps(layout.innerWidth, dpi, promptWidth, linkWidth);
    const int height = std::max(clientHeight - s(80), minimum_panel_height(dpi, twoLines));
    layout.panel = {x, y, x + width, y + height};

    for (int i = 0; i < kColumnControlCount; ++i) {
        const ColumnRow row = column_row(column_control(i));
        layout.column[static_cast<std::size_t>(i)] = {layout.innerLeft, y + s(row.offset),
                                                      layout.innerWidth, s(row.height)};
    }

    const int bottomY = layout.panel.bottom - s(42);
    if (!twoLines) {
        layout.accountPrompt = {layout.innerLeft, bottomY, promptWidth + s(4), s(24)};
        layout.registerLink = {layout.innerLeft + promptWidth + s(4) + s(6), bottomY,
                               linkWidth + s(4), s(24)};
        return layout;
    }
    // Each on a line of its own, no wider than the column: the controls cut what does not
    // fit, and the link is clickable just over the text it shows.
    const auto fitted = [&layout](int textWidth) { return std::min(textWidth, layout.innerWidth); };
    layout.accountPrompt = {layout.innerLeft, bottomY - s(24), fitted(promptWidth + s(4)), s(24)};
    layout.registerLink = {layout.innerLeft, bottomY, fitted(linkWidth + s(4)), s(24)};
    return layout;
}

ClientSize minimum_client_size(int dpi, int promptWidth, int linkWidth) {
    const auto s = [dpi](int n) { return scale_length(n, dpi); };
    // A bottom line that wraps in a wider panel wraps in the narrowest one too, which so
    // needs the most height.
    const int panelWidth = minimum_panel_width(dpi);
    const bool twoLines =
        bottom_line_wraps(inner_width(panelWidth, dpi), dpi, promptWidth, linkWidth);
    return {s(40) + panelWidth + s(40), minimum_panel_height(dpi, twoLines) + s(80)};
}

ClientSize starting_client_size(int dpi, int promptWidth, int linkWidth, ClientSize available) {
    const ClientSize minimum = minimum_client_size(dpi, promptWidth, linkWidth);
    const auto fit = [](int design, int room, int least) {
        return std::max(std::min(design, room), least);
    };
    return {fit(scale_length(kDesignClientWidth, dpi), available.width, minimum.width),
            fit(scale_length(kDesignClientHeight, dpi), available.height, minimum.height)};
}

ScreenPoint position_inside(const Bounds& workArea, ScreenPoint proposed, int width,
                            int height) {
    const auto fit = [](int at, int length, int low, int high) {
        return std::max(std::min(at, high - length), low);
    };
    return {fit(proposed.x, width, workArea.left, workArea.right),
            fit(proposed.y, height, workArea.top, workArea.bottom)};
}

int fitting_layout_dpi(int dpi, ClientSize available, int promptWidth, int linkWidth) {
    // A text measured at `dpi` is about as much narrower at a smaller DPI as its font;
    // rounded up, so that the fit is not decided by a pixel the text may still need.
    const auto shrink = [dpi](int width, int to) {
        return static_cast<int>((static_cast<std::int64_t>(width) * to + dpi - 1) / dpi);
    };
    int layoutDpi = dpi;
    for (; layoutDpi > kSmallestLayoutDpi; --layoutDpi) {
        const ClientSize minimum = minimum_client_size(
            layoutDpi, shrink(promptWidth, layoutDpi), shrink(linkWidth, layoutDpi));
        if (minimum.width <= available.width && minimum.height <= available.height) {
            break;
        }
    }
    return layoutDpi;
}

}  // namespace bx
