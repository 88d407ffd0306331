// Where the login panel and the window's controls go, as a pure function of the client size,
// the window's DPI and the hero share, so that the numbers can be checked without a window.
#pragma once

#include <array>

namespace bx {

// A length designed at 96 DPI, in device pixels at `dpi` (rounded to the nearest pixel).
int scale_length(int designLength, int dpi);

// The narrowest the login panel gets: its design width. Its texts keep to it, however long
// an operator makes them.
int minimum_panel_width(int dpi);

// The part of the client width taken by the hero panel: its share (not scaled), but never so
// much that the panel beside it is left narrower than its minimum. The hero gives way, since
// the panel holds everything the player needs.
int hero_width(int clientWidth, int dpi, int heroWidthPercent);

struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A rectangle by its edges, in client or screen coordinates.
struct Bounds {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The stacked controls of the login panel, top to bottom. This is the one place that says
// their order: the layout's rows and the window's controls are looked up by it.
enum class ColumnControl {
    heading,
    serverState,
    usernameLabel,
    usernameEdit,
    passwordLabel,
    passwordEdit,
    rememberCheck,
    playButton,
    downloadButton,
    progressBar,
    statusText,
    count,  // not a control
};
inline constexpr int kColumnControlCount = static_cast<int>(ColumnControl::count);

struct WindowLayout {
    int heroWidth = 0;
    Bounds panel;
    int innerLeft = 0;
    int innerWidth = 0;
    std::array<Placement, kColumnControlCount> column{};
    Placement accountPrompt;
    Placement registerLink;

    const Placement& operator[](ColumnControl control) const {
        return column[static_cast<int>(control)];
    }
};

struct ClientSize {
    int width = 0;
    int height = 0;
};

// promptWidth and linkWidth are the measured text widths of the bottom line (0 when the
// measurement failed). The prompt and the link share a line where both fit the column; else
// the link stands on a line of its own below the prompt, and each is cut to the column.
WindowLayout compute_layout(int clientWidth, int clientHeight, int dpi, int heroWidthPercent,
                            int promptWidth, int linkWidth);

// The smallest client area in which the panel keeps its margins and every control lies inside
// it without overlaps, the bottom line on two lines where it needs them. The hero has given
// way completely there. The window's minimum tracking size is this area with its frame.
ClientSize minimum_client_size(int dpi, int promptWidth, int linkWidth);

// The design size, 1020 x 640 at 96 DPI, scaled like every other length, made smaller where
// `available` (the client area that the screen's work area leaves) is smaller, and never
// below the minimum.
ClientSize starting_client_size(int dpi, int promptWidth, int linkWidth, ClientSize available);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Where a window of `width` x `height` proposed at `proposed` goes so that it lies inside
// `workArea`: moved back over the right and bottom edges, and where it is larger than the
// work area, held at its left and top edges so that the title bar stays within reach.
ScreenPoint position_inside(const Bounds& workArea, ScreenPoint proposed, int width,
                            int height);

// The smallest DPI the window lays itself out at, however small the screen.
inline constexpr int kSmallestLayoutDpi = 48;

// The DPI at which the window lays itself out (fonts, margins, controls and pictures alike):
// the window's own `dpi` where the panel's column, the window's minimum, fits in `available`
// (the client area that the work area leaves); else the largest smaller one that fits, so that
// everything shrinks together instead of running off the screen. The bottom line's widths are
// those measured at `dpi`; they shrink with the fonts.
int fitting_layout_dpi(int dpi, ClientSize available, int promptWidth, int linkWidth);

}  // namespace bx
