// Where the login panel and the window's controls go, as a pure function of the client size,
// the window's DPI and the hero share, so that the numbers can be checked without a window.
#pragma once

#include <array>

namespace bx {

// A length designed at 96 DPI, in device pixels at `dpi` (rounded to the nearest pixel).
int scale_length(int designLength, int dpi);

// The part of the client width taken by the hero panel; a share, never scaled.
int hero_width(int clientWidth, int heroWidthPercent);

struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct PanelBounds {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The stacked controls of the login panel, in the order they are placed.
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
};
inline constexpr int kColumnControlCount = 11;

struct WindowLayout {
    PanelBounds panel;
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
// measurement failed).
WindowLayout compute_layout(int clientWidth, int clientHeight, int dpi, int heroWidthPercent,
                            int promptWidth, int linkWidth);

// The smallest client area in which the panel keeps its margins and the bottom line fits in
// the column: every control lies inside it and nothing overlaps. The window's minimum
// tracking size is this area with its frame. Throws std::invalid_argument for a hero share
// outside 0..99, which would leave no room for the panel.
ClientSize minimum_client_size(int dpi, int heroWidthPercent, int promptWidth, int linkWidth);

// The design size, 1020 x 640 at 96 DPI, scaled like every other length; never below the
// minimum, which is larger only for a wide hero share or a long bottom line.
ClientSize starting_client_size(int dpi, int heroWidthPercent, int promptWidth, int linkWidth);

}  // namespace bx
