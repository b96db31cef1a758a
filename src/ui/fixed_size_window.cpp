#include "ui/fixed_size_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace quorvel {

namespace {

// Lives as a child of the window it guards.
class MaximizedSizeGuard : public QObject {
public:
    explicit MaximizedSizeGuard(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        attach();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::WinIdChange) {
            attach();
        } else if (watched == &window_ && event->type() == QEvent::LayoutRequest && loose_) {
            // A layout request would make the window fixed at its size again (a message box
            // fixes its size at every one), which the compositor does not allow while it holds
            // the window maximized; it is made when the window is back to normal.
            layoutRequested_ = true;
            return true;
        } else if (watched == &window_ && event->type() == QEvent::Hide && loose_ &&
                   !window_.isVisible()) {
            // Hidden, not minimized (About closed while maximized): nothing holds it maximized
            // now, and it is shown again as it was made, in the normal state at its fixed size.
            window_.setWindowState(window_.windowState() &
                                   ~(Qt::WindowMaximized | Qt::WindowFullScreen));
            restoreFixedSize();
        } else if (watched == handle_ && event->type() == QEvent::Resize && loose_ &&
                   !(handle_->windowStates() & Qt::WindowMaximized)) {
            // The compositor has sized it for the normal state: it may be fixed again. Not
            // before: a request to leave the maximized state is not yet the compositor's answer,
            // and a minimized window stays maximized to the compositor.
            restoreFixedSize();
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
        // Emitted at once for a request (from Qt's title bar or the program), before the
        // compositor answers with the size the window must take.
        connect(handle, &QWindow::windowStateChanged, this, [this] {
            if (handle_->windowStates() & Qt::WindowMaximized)
                allowGrowth();
        });
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

    QWidget& window_;
    QPointer<QWindow> handle_;
    bool loose_ = false;
    bool layoutRequested_ = false;
    QSize fixedMaximum_;
    QLayout::SizeConstraint fixedConstraint_ = QLayout::SetDefaultConstraint;
};

} // namespace

void keepFixedSizeWhenMaximized(QWidget& window) {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        new MaximizedSizeGuard(window);
}

} // namespace quorvel
