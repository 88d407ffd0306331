#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "window/layout.h"

namespace {

using bx::ColumnControl;
using bx::compute_layout;

// A screen with room for any window.
constexpr bx::ClientSize kAnyRoom{INT_MAX, INT_MAX};

struct WorkedLayout {
    int dpi;
    bx::ClientSize client;  // the starting client area at that DPI
    bx::Bounds panel;
    int innerLeft;
    int innerWidth;
    int bottomLineY;
};

void PrintTo(const WorkedLayout& c, std::ostream* os) { *os << c.dpi << " dpi"; }

class LayoutAtDpi : public testing::TestWithParam<WorkedLayout> {};

TEST_P(LayoutAtDpi, StartingClientAreaGivesTheDesignedPanelAndColumn) {
    const WorkedLayout& expected = GetParam();
    const bx::ClientSize client = bx::starting_client_size(expected.dpi, 0, 0, kAnyRoom);
    EXPECT_EQ(client.width, expected.client.width);
    EXPECT_EQ(client.height, expected.client.height);
    const bx::WindowLayout layout =
        compute_layout(client.width, client.height, expected.dpi, 53, 0, 0);
    EXPECT_EQ(layout.panel.left, expected.panel.left);
    EXPECT_EQ(layout.panel.top, expected.panel.top);
    EXPECT_EQ(layout.panel.right, expected.panel.right);
    EXPECT_EQ(layout.panel.bottom, expected.panel.bottom);
    EXPECT_EQ(layout.innerLeft, expected.innerLeft);
    EXPECT_EQ(layout.innerWidth, expected.innerWidth);
    EXPECT_EQ(layout.accountPrompt.y, expected.bottomLineY);
    EXPECT_EQ(layout.registerLink.y, expected.bottomLineY);
    for (const bx::Placement& control : layout.column) {
        EXPECT_EQ(control.x, expected.innerLeft);
        EXPECT_EQ(control.width, expected.innerWidth);
    }
}

// The design size 1020 x 640 scaled by the DPI, like every length inside it.
INSTANTIATE_TEST_SUITE_P(
    WorkedValues, LayoutAtDpi,
    testing::Values(WorkedLayout{96, {1020, 640}, {580, 40, 980, 600}, 616, 328, 558},
                    WorkedLayout{120, {1275, 800}, {725, 50, 1225, 750}, 770, 410, 697},
                    WorkedLayout{144, {1530, 960}, {870, 60, 1470, 900}, 924, 492, 837},
                    WorkedLayout{192, {2040, 1280}, {1161, 80, 1960, 1200}, 1233, 655, 1116}));

// Every control of one layout: the column, then the bottom line.
constexpr const char* kControlNames[] = {
    "heading",       "serverState",   "usernameLabel", "usernameEdit",   "passwordLabel",
    "passwordEdit",  "rememberCheck", "playButton",    "downloadButton", "progressBar",
    "statusText",    "accountPrompt", "registerLink"};
static_assert(std::size(kControlNames) == bx::kColumnControlCount + 2);

std::vector<bx::Placement> all_controls(const bx::WindowLayout& layout) {
    std::vector<bx::Placement> all(layout.column.begin(), layout.column.end());
    all.push_back(layout.accountPrompt);
    all.push_back(layout.registerLink);
    return all;
}

bool overlap(const bx::Placement& a, const bx::Placement& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

// What the player needs at a window size: every control inside the client area, no two
// overlapping, the bottom line inside the column and the panel inside its margins. Empty
// when all of it holds, else what does not.
std::string misfits(const bx::ClientSize& client, int dpi, int heroPercent, int promptWidth,
                    int linkWidth) {
    const bx::WindowLayout layout =
        compute_layout(client.width, client.height, dpi, heroPercent, promptWidth, linkWidth);
    const std::vector<bx::Placement> controls = all_controls(layout);
    std::string found;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const bx::Placement& c = controls[i];
        if (c.x < 0 || c.y < 0 || c.x + c.width > client.width ||
            c.y + c.height > client.height) {
            found += std::string(" ") + kControlNames[i] + " outside;";
        }
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            if (overlap(c, controls[j])) {
                found += std::string(" ") + kControlNames[i] + " overlaps " + kControlNames[j] +
                         ";";
            }
        }
    }
    for (const bx::Placement& text : {layout.accountPrompt, layout.registerLink}) {
        if (text.x < layout.innerLeft ||
            text.x + text.width > layout.innerLeft + layout.innerWidth) {
            found += " bottom line wider than the column;";
        }
    }
    // The panel's height is the client's less 80 scaled as one length, which at a DPI that is
    // no multiple of 24 may be a pixel less than the two margins of 40.
    const int margin = bx::scale_length(40, dpi);
    const int bottomMargin = bx::scale_length(80, dpi) - margin;
    if (layout.panel.right + margin > client.width ||
        layout.panel.bottom + bottomMargin > client.height) {
        found += " panel past its margin;";
    }
    return found;
}

struct MinimumCase {
    const char* name;
    int dpi;
    int heroPercent;
    int promptWidth;
    int linkWidth;
};

void PrintTo(const MinimumCase& c, std::ostream* os) { *os << c.name; }

class MinimumSize : public testing::TestWithParam<MinimumCase> {};

TEST_P(MinimumSize, FitsEverythingAndIsTheSmallestThatDoes) {
    const MinimumCase& c = GetParam();
    const bx::ClientSize minimum = bx::minimum_client_size(c.dpi, c.promptWidth, c.linkWidth);
    EXPECT_EQ(misfits(minimum, c.dpi, c.heroPercent, c.promptWidth, c.linkWidth), "");
    EXPECT_NE(misfits({minimum.width - 1, minimum.height}, c.dpi, c.heroPercent, c.promptWidth,
                      c.linkWidth),
              "");
    EXPECT_NE(misfits({minimum.width, minimum.height - 1}, c.dpi, c.heroPercent, c.promptWidth,
                      c.linkWidth),
              "");
    // The window starts no smaller, so it never starts below what it can be dragged to.
    const bx::ClientSize start =
        bx::starting_client_size(c.dpi, c.promptWidth, c.linkWidth, kAnyRoom);
    EXPECT_GE(start.width, minimum.width);
    EXPECT_GE(start.height, minimum.height);
    EXPECT_EQ(misfits(start, c.dpi, c.heroPercent, c.promptWidth, c.linkWidth), "");
}

// The bottom line's widths are those of the default texts in the body font at each DPI.
INSTANTIATE_TEST_SUITE_P(
    Sizes, MinimumSize,
    testing::Values(MinimumCase{"At96Dpi", 96, 53, 113, 88},
                    MinimumCase{"At120Dpi", 120, 53, 141, 110},
                    MinimumCase{"At144Dpi", 144, 53, 170, 132},
                    MinimumCase{"At192Dpi", 192, 53, 226, 176},
                    MinimumCase{"NarrowHeroAt192Dpi", 192, 20, 226, 176},
                    MinimumCase{"WideHero", 96, 80, 113, 88},
                    MinimumCase{"BottomLineWiderThanThePanel", 144, 53, 600, 132},
                    MinimumCase{"NothingMeasured", 120, 53, 0, 0}),
    [](const testing::TestParamInfo<MinimumCase>& info) { return std::string(info.param.name); });

// The panel as the player needs it at a client width: never narrower than its minimum, never
// past the client's right margin, and the hero taking its share unless the panel needs it.
std::string panel_misfit(int width, int dpi, int heroPercent, int promptWidth, int linkWidth) {
    const bx::WindowLayout layout =
        compute_layout(width, 640, dpi, heroPercent, promptWidth, linkWidth);
    const int panelWidth = layout.panel.right - layout.panel.left;
    const int minimum = bx::minimum_panel_width(dpi);
    const int share = width * heroPercent / 100;
    std::string found;
    if (panelWidth < minimum) {
        found += " panel " + std::to_string(panelWidth) + " < " + std::to_string(minimum) + ";";
    }
    if (layout.panel.right + bx::scale_length(40, dpi) > width) {
        found += " panel ends at " + std::to_string(layout.panel.right) + ";";
    }
    if (layout.heroWidth < 0 || layout.heroWidth > share ||
        (layout.heroWidth < share && panelWidth != minimum)) {
        found += " hero " + std::to_string(layout.heroWidth) + " of " + std::to_string(share) +
                 ";";
    }
    return found;
}

TEST(Layout, HeroGivesWayToThePanelAtEveryShareAndDpi) {
    for (const int dpi : {96, 120, 144, 168, 192}) {
        // No bottom line measured, the default texts' widths, and a bottom line far wider
        // than the panel: the panel keeps its width, the hero its share.
        for (const int lineWidth : {0, bx::scale_length(100, dpi), bx::scale_length(500, dpi)}) {
            const bx::ClientSize minimum = bx::minimum_client_size(dpi, lineWidth, lineWidth);
            const bx::ClientSize start =
                bx::starting_client_size(dpi, lineWidth, lineWidth, kAnyRoom);
            for (int percent = 20; percent <= 80; percent += 5) {
                for (const int width : {start.width, minimum.width}) {
                    EXPECT_EQ(panel_misfit(width, dpi, percent, lineWidth, lineWidth), "")
                        << dpi << " dpi, " << percent << " %, width " << width
                        << ", bottom line " << lineWidth;
                }
            }
        }
    }
}

TEST(Layout, WideHeroKeepsTheDesignSizeAndLeavesThePanelItsMinimum) {
    // 80 % of 1020 would leave 204 pixels; the hero gets what the panel and margins leave.
    EXPECT_EQ(bx::starting_client_size(96, 113, 88, kAnyRoom).width, 1020);
    const bx::WindowLayout layout = compute_layout(1020, 640, 96, 80, 113, 88);
    EXPECT_EQ(layout.heroWidth, 1020 - 40 - 330 - 40);
    EXPECT_EQ(layout.panel.left, 40 + 610);
    EXPECT_EQ(layout.panel.right, 1020 - 40);
    // The share that leaves room stays the share.
    EXPECT_EQ(compute_layout(1020, 640, 96, 53, 113, 88).heroWidth, 540);
}

TEST(Layout, StartingSizeFitsTheScreenButNotBelowTheMinimum) {
    struct Case {
        int dpi;
        bx::ClientSize available;
        bx::ClientSize expected;
    };
    const bx::ClientSize minimum120 = bx::minimum_client_size(120, 141, 110);
    for (const Case& c : {
             // Room enough: the scaled design size, as always.
             Case{96, {1912, 1047}, {1020, 640}},
             Case{192, {2592, 1767}, {2040, 1280}},
             // A 1280 x 800 screen at 120 DPI, less the frame: the work area decides.
             Case{120, {1272, 768}, {1272, 768}},
             // A screen smaller than the window's minimum: the minimum.
             Case{120, {400, 300}, minimum120},
         }) {
        const bx::ClientSize start = bx::starting_client_size(c.dpi, 141, 110, c.available);
        EXPECT_EQ(start.width, c.expected.width) << c.dpi << " dpi in " << c.available.width;
        EXPECT_EQ(start.height, c.expected.height) << c.dpi << " dpi in " << c.available.height;
    }
    // A bottom line too wide for the column leaves the window at the design size.
    const bx::ClientSize wideLine = bx::starting_client_size(96, 900, 300, kAnyRoom);
    EXPECT_EQ(wideLine.width, 1020);
    EXPECT_EQ(wideLine.height, 640);
}

TEST(Layout, WindowIsMovedInsideTheWorkArea) {
    const bx::Bounds work{0, 0, 1280, 760};  // a task bar of 40 pixels below
    struct Case {
        bx::ScreenPoint proposed;
        int width;
        int height;
        bx::ScreenPoint expected;
    };
    for (const Case& c : {
             Case{{100, 50}, 1028, 667, {100, 50}},    // fits where it is
             Case{{400, 300}, 1028, 667, {252, 93}},   // moved back over the right and bottom
             Case{{-30, -10}, 1028, 667, {0, 0}},      // moved back over the left and top
             Case{{200, 200}, 1500, 900, {0, 0}},      // larger: held at the left and top
         }) {
        const bx::ScreenPoint at = bx::position_inside(work, c.proposed, c.width, c.height);
        EXPECT_EQ(at.x, c.expected.x) << c.proposed.x << "," << c.proposed.y;
        EXPECT_EQ(at.y, c.expected.y) << c.proposed.x << "," << c.proposed.y;
    }
    // A second monitor left of the first.
    const bx::ScreenPoint left = bx::position_inside({-1920, 0, 0, 1040}, {-100, 0}, 1028, 667);
    EXPECT_EQ(left.x, -1028);
}

TEST(Layout, ColumnAt96DpiStacksAtTheDesignedOffsets) {
    const bx::WindowLayout layout = compute_layout(1020, 640, 96, 53, 0, 0);
    const bx::Placement heading = layout[ColumnControl::heading];
    EXPECT_EQ(heading.y, 76);
    EXPECT_EQ(heading.height, 34);
    const bx::Placement status = layout[ColumnControl::statusText];
    EXPECT_EQ(status.x, 616);
    EXPECT_EQ(status.y, 464);
    EXPECT_EQ(status.width, 328);
    EXPECT_EQ(status.height, 40);
    EXPECT_EQ(layout[ColumnControl::playButton].y, 40 + 304);
    EXPECT_EQ(layout[ColumnControl::progressBar].height, 5);
}

TEST(Layout, EachLengthIsScaledByItself) {
    // At 100 DPI the heading's top is scale(40) + scale(36) = 42 + 38, not scale(76) = 79.
    const bx::WindowLayout layout = compute_layout(1020, 640, 100, 53, 0, 0);
    EXPECT_EQ(layout[ColumnControl::heading].y, 42 + 38);
    EXPECT_EQ(layout.innerLeft, 42 + 540 + 38);
}

TEST(Layout, PanelKeepsItsMinimumSizeInASmallClientArea) {
    // The lowest panel still holds the column (down to the status line's bottom, 464) and,
    // below it, the bottom line 42 above the panel bottom.
    const bx::WindowLayout minimised = compute_layout(0, 0, 96, 53, 0, 0);
    EXPECT_EQ(minimised.panel.left, 40);
    EXPECT_EQ(minimised.panel.right, 40 + 330);
    EXPECT_EQ(minimised.panel.bottom, 40 + 464 + 42);
    EXPECT_EQ(minimised.accountPrompt.y, minimised[ColumnControl::statusText].y + 40);

    // The minimum height holds in a wide window too, and the panel keeps its minimum width
    // in a window narrower than the minimum.
    const bx::WindowLayout flat = compute_layout(1000, 300, 96, 53, 0, 0);
    EXPECT_EQ(flat.panel.bottom, 40 + 464 + 42);
    const bx::WindowLayout narrow = compute_layout(300, 640, 96, 53, 0, 0);
    EXPECT_EQ(narrow.heroWidth, 0);
    EXPECT_EQ(narrow.panel.right, 40 + 330);  // runs past the right edge

    const bx::WindowLayout narrowHero = compute_layout(1000, 640, 144, 20, 0, 0);
    EXPECT_EQ(narrowHero.panel.left, 60 + 200);  // the hero share is not scaled
}

TEST(Layout, BottomLineFollowsThePromptWidthAndThePanelBottom) {
    const bx::WindowLayout empty = compute_layout(1020, 640, 96, 53, 0, 57);
    EXPECT_EQ(empty.accountPrompt.x, 616);
    EXPECT_EQ(empty.accountPrompt.width, 4);
    EXPECT_EQ(empty.registerLink.x, 616 + 10);
    EXPECT_EQ(empty.registerLink.width, 61);
    EXPECT_EQ(empty.registerLink.height, 24);

    const bx::WindowLayout measured = compute_layout(1530, 960, 144, 53, 100, 50);
    EXPECT_EQ(measured.accountPrompt.width, 106);
    EXPECT_EQ(measured.registerLink.x, 924 + 100 + 6 + 9);

    const bx::WindowLayout taller = compute_layout(1020, 900, 96, 53, 0, 0);
    EXPECT_EQ(taller.accountPrompt.y, 860 - 42);
    EXPECT_EQ(taller[ColumnControl::heading].y, 76);
}

// Where the prompt and the link do not fit the column side by side, the link goes on a line
// of its own below the prompt, and each is cut to the column; the hero keeps its share and the
// column above keeps its places.
TEST(Layout, ALongBottomLineWrapsInsideTheColumn) {
    struct Line {
        const char* name;
        int prompt;  // at 96 DPI; scaled like the fonts
        int link;
        bool wraps;
    };
    const Line lines[] = {
        {"the default texts", 113, 88, false},
        {"just fits", 200, 114, false},  // 200 + 4 + 6 + 114 + 4 = 328, the column
        {"one pixel over", 200, 115, true},
        {"a prompt longer than the column", 560, 300, true},
        {"a link longer than the column", 90, 700, true},
        {"about 400 characters", 1900, 650, true},
    };
    // The DPIs players use, and the smaller ones at which the window lays itself out on
    // small work areas.
    for (const int dpi : {96, 120, 144, 84, 88, 106, 115}) {
        for (const Line& line : lines) {
            const int prompt = line.prompt * dpi / 96;
            const int link = line.link * dpi / 96;
            const std::string where = std::string(line.name) + " at " + std::to_string(dpi);
            const bx::ClientSize start = bx::starting_client_size(dpi, prompt, link, kAnyRoom);
            for (const bx::ClientSize client :
                 {start, bx::minimum_client_size(dpi, prompt, link)}) {
                const bx::WindowLayout layout =
                    compute_layout(client.width, client.height, dpi, 53, prompt, link);
                const bx::WindowLayout unmeasured =
                    compute_layout(client.width, client.height, dpi, 53, 0, 0);
                EXPECT_EQ(misfits(client, dpi, 53, prompt, link), "") << where;
                EXPECT_EQ(layout.heroWidth, unmeasured.heroWidth) << where;
                for (int i = 0; i < bx::kColumnControlCount; ++i) {
                    EXPECT_EQ(layout.column[i].y, unmeasured.column[i].y) << where;
                }
                const bx::Placement& p = layout.accountPrompt;
                const bx::Placement& l = layout.registerLink;
                // The link keeps the bottom line's place; a wrapped prompt stands above it.
                EXPECT_EQ(l.y, layout.panel.bottom - bx::scale_length(42, dpi)) << where;
                if (dpi == 96 && client.width == start.width) {
                    EXPECT_EQ(p.y < l.y, line.wraps) << where;
                }
                if (p.y < l.y) {
                    EXPECT_EQ(p.y + p.height, l.y) << where;
                    EXPECT_EQ(l.x, layout.innerLeft) << where;
                    EXPECT_EQ(p.width, std::min(prompt + bx::scale_length(4, dpi),
                                                layout.innerWidth)) << where;
                    EXPECT_EQ(l.width, std::min(link + bx::scale_length(4, dpi),
                                                layout.innerWidth)) << where;
                }
            }
            // At the design size the hero has its whole share, however long the line.
            const bx::ClientSize design{bx::scale_length(1020, dpi), bx::scale_length(640, dpi)};
            EXPECT_EQ(compute_layout(design.width, design.height, dpi, 53, prompt, link).heroWidth,
                      design.width * 53 / 100)
                << where;
        }
    }
}

// The bottom line's default texts in the body font, measured at a DPI.
int default_prompt_width(int dpi) { return 113 * dpi / 96; }
int default_link_width(int dpi) { return 88 * dpi / 96; }

// Where the window's column at its own DPI does not fit the work area, everything is laid
// out at the largest smaller DPI that fits; elsewhere at the window's own.
TEST(LayoutScale, TheLargestDpiWhoseMinimumFitsTheWorkArea) {
    struct Case {
        const char* screen;
        int dpi;
        bx::ClientSize available;  // the work area less the frame, as Wine's desktop gives it
        int expected;
        int promptWidth = 0;  // 0: the default text's
    };
    for (const Case& c : {
             Case{"1920x1080 at 100 %", 96, {1912, 1047}, 96},
             Case{"1280x800 at 125 %, no task bar", 120, {1272, 768}, 120},
             Case{"1920x1080 at 150 %", 144, {1910, 1030}, 144},
             Case{"1366x768 at 125 %", 120, {1356, 707}, 115},
             Case{"1280x720 at 150 %", 144, {1270, 647}, 106},
             Case{"800x600 at 125 %", 120, {790, 539}, 88},
             Case{"1920x1080 at 200 %", 192, {1910, 997}, 163},
             Case{"800x600 at 200 %", 192, {790, 516}, 84},
             // A bottom line on two lines makes the panel one line taller.
             Case{"800x600 with a bottom line longer than the screen", 96, {790, 547}, 85, 900},
         }) {
        const int prompt = c.promptWidth != 0 ? c.promptWidth : default_prompt_width(c.dpi);
        EXPECT_EQ(bx::fitting_layout_dpi(c.dpi, c.available, prompt, default_link_width(c.dpi)),
                  c.expected)
            << c.screen;
    }
}

TEST(LayoutScale, EveryWorkAreaFrom800x600UpHoldsTheWholeWindow) {
    for (const int dpi : {96, 120, 144, 168, 192}) {
        for (int width = 790; width <= 2560; width += 110) {
            for (int height = 520; height <= 1440; height += 37) {
                const bx::ClientSize available{width, height};
                const int layoutDpi = bx::fitting_layout_dpi(dpi, available,
                                                             default_prompt_width(dpi),
                                                             default_link_width(dpi));
                // The texts shrink with the fonts, as the window measures them again.
                const int prompt = default_prompt_width(layoutDpi);
                const int link = default_link_width(layoutDpi);
                const bx::ClientSize minimum = bx::minimum_client_size(layoutDpi, prompt, link);
                const bx::ClientSize start =
                    bx::starting_client_size(layoutDpi, prompt, link, available);
                const std::string where = std::to_string(dpi) + " dpi in " +
                                          std::to_string(width) + " x " + std::to_string(height);
                ASSERT_LE(layoutDpi, dpi) << where;
                EXPECT_TRUE(minimum.width <= width && minimum.height <= height) << where;
                EXPECT_TRUE(start.width <= width && start.height <= height) << where;
                EXPECT_EQ(misfits(start, layoutDpi, 53, prompt, link), "") << where;
                if (layoutDpi < dpi) {
                    // One step larger would not have fitted.
                    const bx::ClientSize larger = bx::minimum_client_size(
                        layoutDpi + 1, default_prompt_width(layoutDpi + 1),
                        default_link_width(layoutDpi + 1));
                    EXPECT_TRUE(larger.width > width || larger.height > height) << where;
                } else {
                    // Where the window's own DPI fits, the starting size is what it always was.
                    EXPECT_EQ(start.width, std::min(bx::scale_length(1020, dpi), width)) << where;
                    EXPECT_EQ(start.height, std::min(bx::scale_length(640, dpi), height))
                        << where;
                }
            }
        }
    }
}

TEST(Layout, ScaleRoundsLikeMulDiv) {
    EXPECT_EQ(bx::scale_length(61, 144), 92);  // 91.5
    EXPECT_EQ(bx::scale_length(50, 144), 75);
    EXPECT_EQ(bx::scale_length(-3, 144), -5);  // -4.5, away from zero
    EXPECT_EQ(bx::scale_length(61, 144), MulDiv(61, 144, 96));
    EXPECT_EQ(bx::scale_length(-3, 144), MulDiv(-3, 144, 96));
}

}  // namespace
