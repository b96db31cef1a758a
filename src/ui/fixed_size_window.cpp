#include "ui/fixed_size_window.h"

#include "ui/platform.h"

#include <QAbstractNativeEventFilter>
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

// Qt's X connection, where this build has the X protocol library and Qt its X11 platform.
#if defined(QUORVEL_HAVE_XCB) && QT_CONFIG(xcb)
#define QUORVEL_WRITES_MOTIF_HINTS 1
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#endif

namespace quorvel {

namespace {

#ifdef QUORVEL_WRITES_MOTIF_HINTS
xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// Qt writes the Motif hints with resizing always allowed (and a window manager that reads them
// then offers resizing, maximizing and full screen); these allow moving, closing, and minimizing
// where the window has a minimize button, nothing else.
void writeMotifHints(QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const Qt::WindowFlags flags = window.windowFlags();
    if (!x11 || (flags & Qt::FramelessWindowHint))
        return;
    enum : std::uint32_t {
        hintFunctions = 1,
        hintDecorations = 2,
        functionMove = 4,
        functionMinimize = 8,
        functionClose = 32,
        decorationBorder = 2,
        decorationTitle = 8,
        decorationMenu = 16,
        decorationMinimize = 32,
    };
    std::uint32_t hints[5] = {hintFunctions | hintDecorations, functionMove,
                              decorationBorder | decorationTitle, 0, 0};
    if (flags & Qt::WindowCloseButtonHint)
        hints[1] |= functionClose;
    if (flags & Qt::WindowMinimizeButtonHint) {
        hints[1] |= functionMinimize;
        hints[2] |= decorationMinimize;
    }
    if (flags & Qt::WindowSystemMenuHint)
        hints[2] |= decorationMenu;

    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t atom = internAtom(connection, "_MOTIF_WM_HINTS");
    if (atom == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()), atom, atom,
                        32, 5, hints);
    xcb_flush(connection);
}

// Whether an X event says that the window manager deleted _NET_WM_STATE of the window: some
// (fluxbox) leave full screen so, and Qt ignores a deleted property, so that the window would
// stay full screen to Qt (and never come back to its size). Gone, the property means no state.
bool isStateDeleted(const void* message, xcb_window_t window) {
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window != window || notify->state != XCB_PROPERTY_DELETE)
        return false;
    static xcb_atom_t state = XCB_ATOM_NONE;
    if (state == XCB_ATOM_NONE) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            state = internAtom(x11->connection(), "_NET_WM_STATE");
    }
    return state != XCB_ATOM_NONE && notify->atom == state;
}
#else
void writeMotifHints(QWidget&) {}
#endif

// Long enough for Qt to report the state that came with a size.
constexpr int stateSettleMs = 200;

// Lives as a child of the window it guards.
class FixedSizeGuard : public QObject, public QAbstractNativeEventFilter {
public:
    explicit FixedSizeGuard(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        if (onX11())
            QCoreApplication::instance()->installNativeEventFilter(this);
        attach();
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef QUORVEL_WRITES_MOTIF_HINTS
        constexpr Qt::WindowStates enlarged = Qt::WindowMaximized | Qt::WindowFullScreen;
        if (type == "xcb_generic_event_t" && window_.testAttribute(Qt::WA_WState_Created) &&
            (window_.windowState() & enlarged) &&
            isStateDeleted(message, xcb_window_t(window_.winId()))) {
            // The manager let go of it: the normal state (Qt also asks the manager to leave the
            // state, which changes nothing there now) and the fixed size.
            window_.setWindowState(window_.windowState() & ~enlarged);
            returnToFixedSizeLater();
        }
#else
        Q_UNUSED(type);
        Q_UNUSED(message);
#endif
        return false;
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
                if (onX11())
                    writeMotifHints(window_);
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
                    window_.setWindowState(window_.windowState() &
                                           ~(Qt::WindowMaximized | Qt::WindowFullScreen));
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
                    QTimer::singleShot(stateSettleMs, this, [this] {
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
                // handle's state) may be an enlarged state.
                constexpr Qt::WindowStates enlarged =
                    Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
                const QSize fixed = window_.minimumSize();
                if (!loose_ && fixed == window_.maximumSize() && window_.size() != fixed &&
                    window_.isVisible() && !(window_.windowState() & enlarged) &&
                    !(handle_ && (handle_->windowStates() & enlarged)))
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
