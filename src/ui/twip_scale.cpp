#include "ui/twip_scale.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

int TwipScale::px(int twips) const {
    return static_cast<int>(std::lround(twips * factor_ / twipsPerPixel));
}

QRect TwipScale::rect(int left, int top, int width, int height) const {
    return {px(left), px(top), px(width), px(height)};
}

TwipScale fittingScale(std::span<const TextRoom> rooms) {
    constexpr int steps = 20;
    constexpr int largest = 4 * steps; // beyond this the fonts are absurd; stop growing
    for (int step = steps;; ++step) {
        const TwipScale scale(double(step) / steps);
        const bool fits = std::all_of(rooms.begin(), rooms.end(), [&](const TextRoom& room) {
            return room.needed.width() <= scale.px(room.width) &&
                   room.needed.height() <= scale.px(room.height);
        });
        if (fits || step >= largest)
            return scale;
    }
}

} // namespace quorvel
