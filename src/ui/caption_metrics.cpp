#include "ui/caption_metrics.h"

#include <QLabel>

#include <algorithm>

namespace quorvel {

QSize CaptionMetrics::labelSizeHint(const QLabel& label) {
    // As QLabel measures a one-line caption: in a 2000 pixel box, without centring (whose
    // halving would round), tabs expanded.
    const int extra = 2 * label.margin();
    const QMargins margins = label.contentsMargins();
    const int width = 2000 - extra - margins.left() - margins.right();
    const int flags =
        int((label.alignment() | Qt::TextExpandTabs) & ~(Qt::AlignVCenter | Qt::AlignHCenter));
    const QRect text = metrics(label.font()).boundingRect(0, 0, width, 2000, flags, label.text());
    return text.size() + QSize(extra + margins.left() + margins.right(),
                               extra + margins.top() + margins.bottom());
}

const QFontMetrics& CaptionMetrics::metrics(const QFont& font) {
    const auto found = std::find_if(metrics_.begin(), metrics_.end(),
                                    [&](const auto& entry) { return entry.first == font; });
    if (found != metrics_.end())
        return found->second;
    return metrics_.emplace_back(font, QFontMetrics(font)).second;
}

} // namespace quorvel
