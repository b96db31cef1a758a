#include "ui/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace quorvel {

QPoint centredFramePosition(QSize size, QPoint centre, const QRect& area) {
    const auto start = [](int length, int middle, int areaStart, int areaLength) {
        return std::max(areaStart, std::min(middle - length / 2, areaStart + areaLength - length));
    };
    return {start(size.width(), centre.x(), area.x(), area.width()),
            start(size.height(), centre.y(), area.y(), area.height())};
}

QRect currentFrame(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle && window.testAttribute(Qt::WA_WState_Created) ? handle->frameGeometry()
                                                                 : window.frameGeometry();
}

CentredPlacement::CentredPlacement(QWidget& window) : QObject(&window), window_(window) {
    window.installEventFilter(this);
}

void CentredPlacement::centreOn(std::function<QPoint()> centre) {
    centre_ = std::move(centre);
    place();
}

void CentredPlacement::place() {
    const QPoint centre = centre_();
    const QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen)
        screen = window_.screen();
    // Until the window manager has framed the window, its frame is its own size.
    const QSize frame = currentFrame(window_).size();
    frameUnknown_ = frame == window_.size();
    // move() places the frame's corner, also before the frame is known.
    window_.move(centredFramePosition(frame, centre, screen->availableGeometry()));
}

bool CentredPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && frameUnknown_ && centre_ &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        currentFrame(window_).size() != window_.size())
        place();
    return QObject::eventFilter(watched, event);
}

} // namespace quorvel
