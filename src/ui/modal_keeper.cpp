#include "ui/modal_keeper.h"

#include "ui/platform.h"
#include "ui/timings.h"
#include "ui/x11_support.h"

#include <QEvent>
#include <QHideEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace quorvel {

ModalKeeper::ModalKeeper(QWidget& window, QWidget& owner)
    : QObject(&window), window_(window), owner_(owner) {
    window.installEventFilter(this);
    owner.installEventFilter(this);
    if (X11Support* x11 = X11Support::instance())
        connect(x11, &X11Support::focusGiven, this, &ModalKeeper::giveFocusBack);
}

void ModalKeeper::show(const QWidget& over, QWidget* control) {
    // Lets the window manager keep it above its owner without a parent widget.
    if (window_.windowHandle() && over.windowHandle())
        window_.windowHandle()->setTransientParent(over.windowHandle());
    for (auto [handle, watched] : {std::pair(window_.windowHandle(), &watchedSelf_),
                                   std::pair(over.windowHandle(), &watchedOwner_)}) {
        if (handle && handle != *watched) {
            *watched = handle;
            watchStates(*handle);
        }
    }
    returnFocus_ = control;
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized); // shown, not as an icon
    window_.show();
    window_.raise();
    window_.activateWindow();
    shown_.start();
    state_ = State::Shown;
    if (onWayland())
        lookAgainLater();
}

void ModalKeeper::watchStates(QWindow& window) {
    // Seen at the request: a Wayland compositor never tells. Undone once the request has been
    // handled, not from within it.
    connect(&window, &QWindow::windowStateChanged, this, [this, &window](Qt::WindowState state) {
        if (state != Qt::WindowMinimized)
            return;
        const bool itself = &window == window_.windowHandle();
        QMetaObject::invokeMethod(
            this, [this, itself] { undoMinimizing(itself); }, Qt::QueuedConnection);
    });
}

void ModalKeeper::undoMinimizing(bool itself) {
    if (!window_.isVisible() || state_ == State::Remapping)
        return;
    if (!onWayland()) {
        // The window manager is told, and shows both again (openbox minimizes them together).
        (itself ? window_ : owner_).setWindowState(Qt::WindowNoState);
        bringToFront();
        return;
    }
    if (!itself)
        remap(owner_);
    remap(window_);
}

void ModalKeeper::remap(QWidget& window) {
    const QScopedValueRollback<State> remapping(state_, State::Remapping);
    window.hide();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    if (&window == &window_) {
        window_.activateWindow();
        shown_.start();
        lookAgainLater();
    }
}

void ModalKeeper::lookAgainLater() {
    // Put away at once, the window leaves the owner with the focus and no new activation to tell.
    QTimer::singleShot(timings::focusArrivalMs, this, [this] {
        if (window_.isVisible() && !window_.isActiveWindow() && owner_.isActiveWindow() &&
            state_ != State::ShownAnew) {
            state_ = State::ShownAnew;
            remap(window_);
        }
    });
}

void ModalKeeper::bringToFront() {
    if (!window_.isVisible() || state_ == State::Remapping)
        return;
    if (onWayland()) {
        // The owner gets the focus back for a moment when this window goes: that is no new
        // request.
        if (shown_.isValid() && shown_.elapsed() < timings::focusArrivalMs)
            return;
        remap(window_);
        return;
    }
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.raise();
    window_.activateWindow();
}

void ModalKeeper::giveFocusBack(WId given) {
    // The keyboard focus given to the disabled owner while the window shows. Qt then asks the
    // window manager to activate the window, which KWin refuses after a click on the owner (it
    // has the window as the one it last activated, though the focus went to the owner). Not to
    // a minimized (unmapped) window: the focus cannot go there.
    if (window_.isVisible() && !window_.isMinimized() && X11Support::isWindowOf(owner_, given))
        X11Support::instance()->giveFocus(window_);
}

bool ModalKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_) {
        if (event->type() == QEvent::Hide)
            hidden(*static_cast<QHideEvent*>(event));
        else if (event->type() == QEvent::ActivationChange && window_.isActiveWindow() &&
                 state_ == State::ShownAnew)
            state_ = State::Shown;
        return false;
    }
    if (watched != &owner_ || !window_.isVisible())
        return false;
    if (event->type() == QEvent::WindowActivate) {
        QMetaObject::invokeMethod(this, &ModalKeeper::bringToFront, Qt::QueuedConnection);
    } else if (event->type() == QEvent::WindowStateChange &&
               (owner_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        // The manager's answer, maximized or full screen: asked back to normal only now, as a
        // Wayland compositor requires the configured size until it answers the next request.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (window_.isVisible())
                    owner_.setWindowState(owner_.windowState() &
                                          ~(Qt::WindowMaximized | Qt::WindowFullScreen));
            },
            Qt::QueuedConnection);
    }
    return false;
}

void ModalKeeper::hidden(const QHideEvent& event) {
    // Minimized by the window manager (a spontaneous hide), or about to be shown anew: still
    // shown.
    if (event.spontaneous() || state_ == State::Remapping)
        return;
    state_ = State::Hidden;
    owner_.setEnabled(true);
    // Disabling the owner took the focus from its control; give it back, and the owner the
    // keyboard, as closing a dialog does.
    owner_.activateWindow();
    if (returnFocus_ && returnFocus_->isEnabled() && returnFocus_->isVisible())
        returnFocus_->setFocus(Qt::OtherFocusReason);
}

} // namespace quorvel
