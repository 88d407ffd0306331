#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>

#include "window/layout.h"

namespace {

using bx::ColumnControl;
using bx::compute_layout;

struct WorkedLayout {
    int dpi;
    bx::PanelBounds panel;
    int innerLeft;
    int innerWidth;
    int bottomLineY;
};

void PrintTo(const WorkedLayout& c, std::ostream* os) { *os << c.dpi << " dpi"; }

class LayoutAtDpi : public testing::TestWithParam<WorkedLayout> {};

TEST_P(LayoutAtDpi, StartingClientAreaGivesTheDesignedPanelAndColumn) {
    const WorkedLayout& expected = GetParam();
    const bx::WindowLayout layout = compute_layout(1020, 640, expected.dpi, 53, 0, 0);
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

INSTANTIATE_TEST_SUITE_P(WorkedValues, LayoutAtDpi,
                         testing::Values(WorkedLayout{96, {580, 40, 980, 600}, 616, 328, 558},
                                         WorkedLayout{120, {590, 50, 1003, 638}, 635, 323, 585},
                                         WorkedLayout{144, {600, 60, 1095, 765}, 654, 387, 702}));

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
    const bx::WindowLayout minimised = compute_layout(0, 0, 96, 53, 0, 0);
    EXPECT_EQ(minimised.panel.left, 40);
    EXPECT_EQ(minimised.panel.right, 40 + 330);
    EXPECT_EQ(minimised.panel.bottom, 40 + 470);

    const bx::WindowLayout wideHero = compute_layout(1000, 640, 96, 80, 0, 0);
    EXPECT_EQ(wideHero.panel.left, 840);
    EXPECT_EQ(wideHero.panel.right, 840 + 330);  // runs past the right edge

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

    const bx::WindowLayout measured = compute_layout(1020, 640, 144, 53, 100, 50);
    EXPECT_EQ(measured.accountPrompt.width, 106);
    EXPECT_EQ(measured.registerLink.x, 654 + 100 + 6 + 9);

    const bx::WindowLayout taller = compute_layout(1020, 900, 96, 53, 0, 0);
    EXPECT_EQ(taller.accountPrompt.y, 860 - 42);
    EXPECT_EQ(taller[ColumnControl::heading].y, 76);
}

TEST(Layout, ScaleRoundsLikeMulDiv) {
    EXPECT_EQ(bx::scale_length(61, 144), 92);  // 91.5
    EXPECT_EQ(bx::scale_length(50, 144), 75);
    EXPECT_EQ(bx::scale_length(-3, 144), -5);  // -4.5, away from zero
    EXPECT_EQ(bx::scale_length(61, 144), MulDiv(61, 144, 96));
    EXPECT_EQ(bx::scale_length(-3, 144), MulDiv(-3, 144, 96));
}

}  // namespace
