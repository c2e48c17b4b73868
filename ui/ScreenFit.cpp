#include "ScreenFit.h"

#include <algorithm>
#include <tuple>

namespace screenfit {

namespace {

struct Candidate {
    SideAt side;
    QSize client;
    QSize shown; // the side area's part in view
};

Candidate Beside(const Needs& needs, QSize usable)
{
    const int width = std::min(needs.sideWanted.width(), usable.width() - needs.original.width());
    const int height = std::max(needs.original.height(), std::min(needs.sideWanted.height(), usable.height()));
    return {SideAt::Beside, QSize(needs.original.width() + std::max(0, width), height), QSize(width, height)};
}

Candidate Below(const Needs& needs, QSize usable)
{
    const int width = std::max(needs.original.width(), std::min(needs.sideWanted.width(), usable.width()));
    const int height = std::min(needs.sideWanted.height(), usable.height() - needs.original.height());
    return {SideAt::Below, QSize(width, needs.original.height() + std::max(0, height)), QSize(width, height)};
}

bool Covers(QSize shown, QSize needed)
{
    return shown.width() >= needed.width() && shown.height() >= needed.height();
}

long long ShownArea(QSize shown, QSize wanted)
{
    const long long width = std::clamp(shown.width(), 0, wanted.width());
    const long long height = std::clamp(shown.height(), 0, wanted.height());
    return width * height;
}

// The start of a span of `length` within `room` from `low`, as near `preferred` as fits.
int Within(int preferred, int low, int room, int length)
{
    const int high = low + room - length;
    return high < low ? low : std::clamp(preferred, low, high);
}

} // namespace

QRect SideRect(SideAt side, QSize original, QSize client)
{
    switch (side) {
    case SideAt::Beside:
        return {original.width(), 0, std::max(0, client.width() - original.width()), client.height()};
    case SideAt::Below:
        return {0, original.height(), client.width(), std::max(0, client.height() - original.height())};
    case SideAt::Nowhere:
        break;
    }
    return {};
}

Placement Fit(const Needs& needs, const QRect& available)
{
    const QSize usable = available.size().shrunkBy(needs.frame);
    Placement placement;
    placement.client = needs.original;
    placement.least = needs.original;
    if (!needs.sideWanted.isEmpty()) {
        // Whole first; then the top part in view; then no sideways scrolling,
        // which hides the ends of lines; then the most in view.
        const auto rank = [&](const Candidate& c) {
            return std::make_tuple(Covers(c.shown, needs.sideWanted), Covers(c.shown, needs.sideLeast),
                                   c.shown.width() >= needs.sideWanted.width(), ShownArea(c.shown, needs.sideWanted));
        };
        const Candidate beside = Beside(needs, usable);
        const Candidate below = Below(needs, usable);
        const Candidate& chosen = rank(below) > rank(beside) ? below : beside;
        placement.side = chosen.side;
        placement.client = chosen.client;
        placement.sideWhole = Covers(chosen.shown, needs.sideWanted);
        placement.least = chosen.side == SideAt::Beside
            ? QSize(needs.original.width() + needs.sideLeast.width(), needs.original.height())
            : QSize(needs.original.width(), needs.original.height() + needs.sideLeast.height());
        placement.least = placement.least.boundedTo(placement.client);
    }
    const QSize outer = placement.client.grownBy(needs.frame);
    placement.framePos = {Within(needs.preferred.x(), available.left(), available.width(), outer.width()),
                          Within(needs.preferred.y(), available.top(), available.height(), outer.height())};
    return placement;
}

} // namespace screenfit
