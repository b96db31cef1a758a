#include "ui/x11_support.h"

#include "ui/platform.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <cstdint>

// Qt's X connection, where this build has the X protocol library and Qt its X11 platform.
#if defined(QUORVEL_HAVE_XCB) && QT_CONFIG(xcb)
#define QUORVEL_X11 1
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace quorvel {

#ifdef QUORVEL_X11

namespace {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

X11Support::X11Support() : QObject(QCoreApplication::instance()) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Support* X11Support::instance() {
    // Made again for an application made again (as tests do), with its own connection.
    static QPointer<X11Support> support;
    if (!support && onX11() && connection())
        support = new X11Support;
    return support;
}

bool X11Support::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_FOCUS_IN: {
        const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
        if (focus->detail != XCB_NOTIFY_DETAIL_POINTER && focus->mode != XCB_NOTIFY_MODE_GRAB &&
            focus->mode != XCB_NOTIFY_MODE_UNGRAB)
            emit focusGiven(WId(focus->event));
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->state == XCB_PROPERTY_DELETE && notify->atom == atom("_NET_WM_STATE"))
            emit stateDeleted(WId(notify->window));
        break;
    }
    default:
        break;
    }
    return false;
}

std::uint32_t X11Support::atom(const char* name) {
    const auto known = atoms_.constFind(name);
    if (known != atoms_.cend())
        return *known;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection(), xcb_intern_atom(connection(), 0, std::strlen(name), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    atoms_.insert(name, atom);
    return atom;
}

void X11Support::writeMotifHints(QWidget& window) {
    const Qt::WindowFlags flags = window.windowFlags();
    if (flags & Qt::FramelessWindowHint)
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

    const xcb_atom_t motif = atom("_MOTIF_WM_HINTS");
    if (motif == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection(), XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()), motif,
                        motif, 32, 5, hints);
    xcb_flush(connection());
}

void X11Support::giveFocus(const QWidget& window) {
    if (!window.testAttribute(Qt::WA_WState_Created))
        return;
    // The current time: the focus event that prompts this carries none, and the window
    // manager's own change of focus may be later than any time the program has seen.
    xcb_set_input_focus(connection(), XCB_INPUT_FOCUS_PARENT, xcb_window_t(window.winId()),
                        XCB_CURRENT_TIME);
    xcb_flush(connection());
}

#else

X11Support::X11Support() = default;

X11Support* X11Support::instance() {
    return nullptr;
}

bool X11Support::nativeEventFilter(const QByteArray&, void*, qintptr*) {
    return false;
}

std::uint32_t X11Support::atom(const char*) {
    return 0;
}

void X11Support::writeMotifHints(QWidget&) {}

void X11Support::giveFocus(const QWidget&) {}

#endif

bool X11Support::isWindowOf(const QWidget& window, WId id) {
    return window.testAttribute(Qt::WA_WState_Created) && window.winId() == id;
}

} // namespace quorvel
