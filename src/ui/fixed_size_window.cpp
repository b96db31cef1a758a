#include "ui/fixed_size_window.h"

#include "ui/platform.h"
#include "ui/timings.h"
#include "ui/x11_support.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QResizeEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace quorvel {

namespace {

constexpr Qt::WindowStates maximizedOrFullScreen = Qt::WindowMaximized | Qt::WindowFullScreen;

// Lives as a child of the window it guards.
class FixedSizeGuard : public QObject {
public:
    explicit FixedSizeGuard(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        if (X11Support* x11 = X11Support::instance())
            connect(x11, &X11Support::stateDeleted, this, &FixedSizeGuard::stateDeleted);
        attach();
    }

    // Some managers (fluxbox) leave full screen by deleting the window's state, which Qt
    // ignores: the window would stay full screen to Qt, and never come back to its size. Gone,
    // the state means the normal state (Qt also asks the manager to leave the state, which
    // changes nothing there now) and the fixed size.
    void stateDeleted(WId id) {
        if ((window_.windowState() & maximizedOrFullScreen) &&
            X11Support::isWindowOf(window_, id)) {
            window_.setWindowState(window_.windowState() & ~maximizedOrFullScreen);
            returnToFixedSizeLater();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_) {
            switch (event->type()) {
            case QEvent::WinIdChange:
                attach();
                break;
            case QEvent::Show:
                // Created, not yet mapped: the window manager reads the hints when it maps it.
                if (X11Support* x11 = X11Support::instance())
                    x11->writeMotifHints(window_);
                break;
            case QEvent::LayoutRequest:
                if (loose_) {
                    // A layout request would make the window fixed at its size again (a message
                    // box fixes its size at every one), which the compositor does not allow while
                    // it holds the window maximized; it is made when the window is back to normal.
                    layoutRequested_ = true;
                    return true;
                }
                break;
            case QEvent::Resize:
                if (loose_ && heldMaximized() &&
                    window_.maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)) {
                    // Fixed again while the compositor holds it maximized (a message box fixes its
                    // size at a change of style, as when it enters an output): the new size is the
                    // fixed one to return to, and it stays at the configured size meanwhile.
                    fixedMaximum_ = window_.maximumSize();
                    window_.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
                    window_.resize(static_cast<QResizeEvent*>(event)->oldSize());
                }
                break;
            case QEvent::Hide:
                if (loose_ && !window_.isVisible()) {
                    // Hidden, not minimized (About closed while maximized): nothing holds it
                    // maximized now, and it is shown again as it was made, in the normal state at
                    // its fixed size.
                    window_.setWindowState(window_.windowState() & ~maximizedOrFullScreen);
                    restoreFixedSize();
                }
                break;
            default:
                break;
            }
        } else if (watched == handle_ && event->type() == QEvent::Resize) {
            // The compositor has sized it for the normal state: it may be fixed again. Not
            // before: a request to leave the maximized state is not yet the compositor's answer,
            // and a minimized window stays maximized to the compositor. Larger than its fixed
            // size, it may still be maximized: Qt 6.11 can report the state of the configure
            // before while the size is already the maximized one (fixed then, the window would
            // end the program with a protocol error); the state is looked at again later.
            if (loose_ && !heldMaximized()) {
                const QSize size = static_cast<QResizeEvent*>(event)->size();
                if (size.width() <= fixedMaximum_.width() &&
                    size.height() <= fixedMaximum_.height())
                    restoreFixedSize();
                else
                    QTimer::singleShot(timings::stateSettleMs, this, [this] {
                        if (loose_ && handle_ && !heldMaximized())
                            restoreFixedSize();
                    });
            }
            returnToFixedSizeLater();
        } else if (watched == handle_ && event->type() == QEvent::WindowStateChange) {
            // The manager's answer: a frame of the new state, and the fixed size where it let go.
            window_.update();
            returnToFixedSizeLater();
        }
        return false;
    }

private:
    void attach() {
        QWindow* handle = window_.windowHandle();
        if (!handle || handle == handle_)
            return;
        handle_ = handle;
        handle->installEventFilter(this);
        if (!onWayland())
            return;
        // Emitted at once for a request (from Qt's title bar or the program), before the
        // compositor answers with the size the window must take.
        connect(handle, &QWindow::windowStateChanged, this, [this] {
            if (heldMaximized())
                allowGrowth();
        });
    }

    // Maximized as far as Qt knows: the compositor's answer, or the program's request.
    bool heldMaximized() const {
        return handle_ && (handle_->windowStates() & Qt::WindowMaximized);
    }

    void allowGrowth() {
        if (loose_)
            return;
        loose_ = true;
        fixedMaximum_ = window_.maximumSize();
        if (QLayout* layout = window_.layout()) {
            fixedConstraint_ = layout->sizeConstraint();
            layout->setSizeConstraint(QLayout::SetMinimumSize);
        }
        window_.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }

    void restoreFixedSize() {
        loose_ = false;
        if (QLayout* layout = window_.layout())
            layout->setSizeConstraint(fixedConstraint_);
        window_.setMaximumSize(fixedMaximum_);
        if (std::exchange(layoutRequested_, false))
            QCoreApplication::postEvent(&window_, new QEvent(QEvent::LayoutRequest));
    }

    // In the normal state the window takes its own size: a manager that resized it anyway (on
    // another program's request, or to a size of its own choosing when it let go of it) gets
    // the fixed size back. Asked once the events of the change have all arrived.
    void returnToFixedSizeLater() {
        QMetaObject::invokeMethod(
            this,
            [this] {
                // Neither the manager's last answer nor the program's last request (the
                // handle's state) may be another state than the normal one.
                constexpr Qt::WindowStates notNormal = maximizedOrFullScreen | Qt::WindowMinimized;
                const QSize fixed = window_.minimumSize();
                if (!loose_ && fixed == window_.maximumSize() && window_.size() != fixed &&
                    window_.isVisible() && !(window_.windowState() & notNormal) &&
                    !(handle_ && (handle_->windowStates() & notNormal)))
                    window_.resize(fixed);
            },
            Qt::QueuedConnection);
    }

    QWidget& window_;
    QPointer<QWindow> handle_;
    bool loose_ = false;
    bool layoutRequested_ = false;
    QSize fixedMaximum_;
    QLayout::SizeConstraint fixedConstraint_ = QLayout::SetDefaultConstraint;
};

} // namespace

void keepFixedSizeWhenMaximized(QWidget& window) {
    new FixedSizeGuard(window);
}

} // namespace quorvel
