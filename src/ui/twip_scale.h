#pragma once

#include <QRect>
#include <QSize>

#include <span>

namespace quorvel {

// Both windows are laid out in twips: 15 make one device-independent pixel at 96 dpi, and Qt
// enlarges those pixels for high-DPI screens itself.
inline constexpr double twipsPerPixel = 15.0;

// Converts twips to pixels, all multiplied by one factor. A factor above 1 enlarges the whole
// layout evenly, keeping rows and proportions, where the platform's fonts are wider than the
// ones the layout was drawn for.
class TwipScale {
public:
    explicit TwipScale(double factor = 1.0) : factor_(factor) {}

    double factor() const { return factor_; }
    int px(int twips) const;
    QRect rect(int left, int top, int width, int height) const;

private:
    double factor_;
};

// What a widget needs, in pixels, against the room the layout gives it, in twips.
struct TextRoom {
    QSize needed;
    int width;
    int height;
};

// The smallest factor, from 1 upwards in steps of 1/20, at which every room holds its need.
TwipScale fittingScale(std::span<const TextRoom> rooms);

} // namespace quorvel
