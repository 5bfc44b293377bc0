#include <gtest/gtest.h>

#include <climits>

#include "platform/screenplace.h"

using tarvik::KeepTitleBarOnScreen;

namespace {

std::string Text(QPoint p) { return std::to_string(p.x()) + "," + std::to_string(p.y()); }

}  // namespace

TEST(ScreenPlace, TitleBarStaysReachable)
{
    const QList<QRect> one{QRect(0, 0, 1920, 1040)};  // a work area above a 40-pixel task bar
    // Left of 1920 starts a second screen, a little lower and smaller.
    const QList<QRect> two{QRect(0, 0, 1920, 1040), QRect(1920, 200, 1280, 984)};
    const QSize frame(402, 249);
    const struct {
        const char* what;
        QList<QRect> areas;
        QPoint wanted, expected;
    } cases[] = {
        {"on screen stays", one, {10, 20}, {10, 20}},
        {"partly off to the right, title bar still reachable", one, {1800, 500}, {1800, 500}},
        {"partly above the top: the bar itself is cut", one, {100, -10}, {100, 0}},
        {"far off right and down", one, {INT_MAX, INT_MAX}, {1920 - 402, 1040 - 249}},
        {"far off left and up", one, {INT_MIN, INT_MIN}, {0, 0}},
        {"below the work area (on the task bar)", one, {300, 1030}, {300, 1040 - 249}},
        {"on the second screen stays", two, {2000, 300}, {2000, 300}},
        {"above the second screen moves onto it", two, {2500, 50}, {2500, 200}},
        {"beyond the second screen comes back to it", two, {9000, 400}, {3200 - 402, 400}},
        {"no screens known: unchanged", {}, {INT_MAX, 5}, {INT_MAX, 5}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(KeepTitleBarOnScreen(c.wanted, frame, c.areas)), Text(c.expected)) << c.what;

    // A frame wider and taller than the area sits at its top-left corner.
    EXPECT_EQ(Text(KeepTitleBarOnScreen({-5000, 7000}, {3000, 2000}, one)), "0,0");
}
