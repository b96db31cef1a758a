#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

namespace quorvel {

// Where a window frame of `size` goes to be centred on `centre`: moved only as far as it takes
// to lie within `area`, and where it is larger than the area, at the area's top or left edge,
// so that its title bar and menus stay in view.
QPoint centredFramePosition(QSize size, QPoint centre, const QRect& area);

// The frame of a top-level window as the window system has it now. QWidget::frameGeometry() keeps
// a copy of the frame's margins that it takes again only when the window moves: a window shown
// again where it was keeps the margins it had while hidden, none (seen with openbox and Qt 6.4).
QRect currentFrame(const QWidget& window);

// Centres a top-level window, frame included, on a point within the available area of the
// screen there. The window manager's frame is known only once the window is shown, so the
// window is placed once more when it becomes known. A child of the window.
class CentredPlacement : public QObject {
public:
    explicit CentredPlacement(QWidget& window);

    // Places the window now, and again when its frame becomes known.
    void centreOn(std::function<QPoint()> centre);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget& window_;
    std::function<QPoint()> centre_;
    bool frameUnknown_ = false;
};

} // namespace quorvel
