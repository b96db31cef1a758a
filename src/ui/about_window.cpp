#include "ui/about_window.h"

#include "ui/accessibility.h"
#include "ui/fixed_size_window.h"
#include "ui/platform.h"
#include "ui/push_button.h"
#include "ui/twip_scale.h"
#include "ui/window_placement.h"

#include "config/version.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWindow>

#include <utility>
#include <vector>

// Qt's X connection, where this build has the X protocol library and Qt its X11 platform.
#if defined(QUORVEL_HAVE_XCB) && QT_CONFIG(xcb)
#define QUORVEL_SEES_X_EVENTS 1
#include <xcb/xcb.h>
#endif

namespace quorvel {

namespace {

constexpr int clientWidth = 4590;
constexpr int clientHeight = 2295;

enum class Kind { Label, Rule, Button };
enum class Font { Dialog, Title, Web };

struct Control {
    Kind kind;
    const char* name;
    const char* text;
    int left, top, width, height; // twips from the client area's top-left corner
    Font font = Font::Dialog;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int room = 0; // twips the text may take, if less than the width
};

constexpr Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;

// In tab order. The credit line shares its row with the right-aligned first e-mail address, so
// its text has to end before that label begins.
constexpr Control controls[] = {
    {Kind::Label, "Label1", "Quorvel!", 240, 240, 2295, 495, Font::Title},
    {Kind::Label, "Label2", nullptr, 240, 720, 3375, 255}, // the version line
    {Kind::Label, "Label3", "by the Quorvel team", 240, 1200, 3255, 255, Font::Dialog,
     Qt::AlignLeft | Qt::AlignVCenter, 2880 - 120 - 240},
    {Kind::Rule, "Frame1", nullptr, 240, 960, 4095, 135},
    {Kind::Label, "Label4", "quorvel@example.org", 2880, 1200, 1455, 255, Font::Dialog, right},
    {Kind::Label, "Label5", "team@example.org", 2880, 1440, 1455, 255, Font::Dialog, right},
    {Kind::Label, "Label6", "quorvel.example.org", 2520, 360, 1815, 255, Font::Web, right},
    {Kind::Button, "Command1", "OK", 1800, 1800, 975, 375, Font::Dialog, Qt::AlignCenter},
};

// "Version 1.1  (24.10.2000)": the release date as day, month and year.
QString versionLine() {
    const auto latin1 = [](std::string_view text) {
        return QLatin1String(text.data(), qsizetype(text.size()));
    };
    const QString date = latin1(releaseDate);
    return QStringLiteral("Version ") + latin1(version) + QStringLiteral("  (") + date.mid(8, 2) +
           u'.' + date.mid(5, 2) + u'.' + date.left(4) + u')';
}

// A screen reader hears what each contact line is. A dialog opening reads only its lines of
// three words or more (Orca), which an address alone is not.
struct SpokenPrefix {
    const char* label;
    const char* prefix;
};
constexpr SpokenPrefix spokenPrefixes[] = {
    {"Label4", "contact by e-mail:"},
    {"Label5", "or by e-mail:"},
    {"Label6", "on the web:"},
};

QString spokenName(const Control& c) {
    for (const auto& [label, prefix] : spokenPrefixes) {
        if (qstrcmp(label, c.name) == 0)
            return QStringLiteral("%1 %2").arg(QLatin1String(prefix), QLatin1String(c.text));
    }
    return {};
}

QFont fontFor(Font font, const QFont& dialogFont) {
    if (font == Font::Dialog)
        return dialogFont;
    QFont named(QStringLiteral("MS Sans Serif"));
    named.setStyleHint(QFont::SansSerif);
    named.setPointSizeF(font == Font::Title ? 17.25 : 9.75);
    named.setBold(font == Font::Title);
    return named;
}

// How long a window shown anew may take to get the focus from the compositor.
constexpr int moment = 1000; // ms

#ifdef QUORVEL_SEES_X_EVENTS
// Whether an X event says that `window` got the keyboard focus from the window manager.
bool isFocusGivenTo(const void* message, xcb_window_t window) {
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_FOCUS_IN)
        return false;
    const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
    return focus->event == window && focus->detail != XCB_NOTIFY_DETAIL_POINTER &&
           focus->mode != XCB_NOTIFY_MODE_GRAB && focus->mode != XCB_NOTIFY_MODE_UNGRAB;
}
#endif

// The keyboard focus given to the disabled owner while About shows. Qt then asks the window
// manager to activate About, which KWin refuses after a click on the owner (it has About as the
// window it last activated, though the focus went to the owner). The program has the focus in
// one of its windows, so it may move it to another (the "locally active" input model).
class OwnerFocus : public QObject, public QAbstractNativeEventFilter {
public:
    OwnerFocus(AboutWindow& about, QWidget& owner) : QObject(&about), about_(about), owner_(owner) {
        if (onX11())
            QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef QUORVEL_SEES_X_EVENTS
        // Not to a minimized (unmapped) About: the focus cannot go there.
        if (type == "xcb_generic_event_t" && about_.isVisible() && !about_.isMinimized() &&
            owner_.testAttribute(Qt::WA_WState_Created) &&
            about_.testAttribute(Qt::WA_WState_Created) &&
            isFocusGivenTo(message, xcb_window_t(owner_.winId()))) {
            if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
                // The current time: the focus event carries none, and the window manager's own
                // change of focus may be later than any time the program has seen.
                xcb_set_input_focus(x11->connection(), XCB_INPUT_FOCUS_PARENT,
                                    xcb_window_t(about_.winId()), XCB_CURRENT_TIME);
                xcb_flush(x11->connection());
            }
        }
#else
        Q_UNUSED(type);
        Q_UNUSED(message);
#endif
        return false;
    }

private:
    AboutWindow& about_;
    QWidget& owner_;
};

} // namespace

AboutWindow::AboutWindow(QWidget& owner)
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      owner_(owner), placement_(new CentredPlacement(*this)) {
    // A dialog to a screen reader, which then reads its lines when it opens; before the title is
    // set, as that makes the accessible interface.
    useAccessibleRole(staticMetaObject, QAccessible::Dialog);
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About Quorvel!"));
    // Never what keeps the program running, and never what ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Modal to the window system too, though it does not hold up the program: a click on the
    // disabled owner then brings it to the front with the focus where the window manager can.
    setWindowModality(Qt::ApplicationModal);
    owner.installEventFilter(this);
    new OwnerFocus(*this, owner);

    std::vector<std::pair<QWidget*, const Control*>> placed;
    std::vector<TextRoom> rooms;
    QPushButton* ok = nullptr;
    for (const Control& c : controls) {
        QWidget* widget = nullptr;
        switch (c.kind) {
        case Kind::Label: {
            auto* label = new QLabel(c.text ? QString::fromLatin1(c.text) : versionLine(), this);
            label->setAlignment(c.alignment);
            label->setAccessibleName(spokenName(c));
            widget = label;
            break;
        }
        case Kind::Rule: {
            auto* rule = new QFrame(this);
            rule->setFrameShape(QFrame::HLine);
            rule->setFrameShadow(QFrame::Sunken);
            widget = rule;
            break;
        }
        case Kind::Button:
            ok = new PushButton(QString::fromLatin1(c.text), this);
            ok->setAutoDefault(false);
            widget = ok;
            break;
        }
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setFont(fontFor(c.font, font()));
        placed.emplace_back(widget, &c);
        if (c.kind != Kind::Rule) {
            widget->ensurePolished();
            rooms.push_back({widget->sizeHint(), c.room ? c.room : c.width, c.height});
        }
    }

    const TwipScale scale = fittingScale(rooms);
    for (const auto& [widget, c] : placed)
        widget->setGeometry(scale.rect(c->left, c->top, c->width, c->height));
    setFixedSize(scale.px(clientWidth), scale.px(clientHeight));
    keepFixedSizeWhenMaximized(*this);

    connect(ok, &QPushButton::clicked, this, &AboutWindow::Command1_Click);
}

void AboutWindow::showOver(const QWidget& window, QWidget* control) {
    // Placed before its native window exists, the first time, so that the window manager puts
    // the frame where asked and moves the window when it adds the frame.
    placement_->centreOn([&window] { return window.frameGeometry().center(); });
    // Lets the window manager keep it above its owner without a parent widget.
    if (!windowHandle())
        create();
    if (window.windowHandle())
        windowHandle()->setTransientParent(window.windowHandle());
    // Each native window once: Qt may make new ones.
    for (auto [handle, watched] : {std::pair(windowHandle(), &watchedSelf_),
                                   std::pair(window.windowHandle(), &watchedOwner_)}) {
        if (handle && handle != *watched) {
            *watched = handle;
            watchStates(*handle);
        }
    }
    returnFocus_ = control;
    setWindowState(windowState() & ~Qt::WindowMinimized); // shown, not as an icon
    show();
    raise();
    activateWindow();
    shown_.start();
    unseenRemap_ = false;
    if (onWayland())
        lookAgainLater();
}

void AboutWindow::watchStates(QWindow& window) {
    // Neither it nor its owner stays minimized while it shows: a minimized About could not be
    // found again where there is no task bar, and the disabled owner's title bar does nothing, as
    // its controls. Seen at the request: a Wayland compositor never tells. Undone once the request
    // has been handled, not from within it.
    connect(&window, &QWindow::windowStateChanged, this, [this, &window](Qt::WindowState state) {
        if (state != Qt::WindowMinimized)
            return;
        const bool about = &window == windowHandle();
        QMetaObject::invokeMethod(
            this, [this, about] { undoMinimizing(about); }, Qt::QueuedConnection);
    });
}

void AboutWindow::undoMinimizing(bool about) {
    if (!isVisible() || remapping_)
        return;
    if (!onWayland()) {
        // The window manager is told, and shows both again (openbox minimizes them together).
        (about ? static_cast<QWidget&>(*this) : owner_).setWindowState(Qt::WindowNoState);
        bringToFront();
        return;
    }
    // A compositor cannot be asked to show a minimized window again: it is shown anew.
    if (!about)
        remap(owner_);
    remap(*this);
}

void AboutWindow::remap(QWidget& window) {
    const QScopedValueRollback<bool> remapping(remapping_, true);
    window.hide();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    if (&window == this) {
        activateWindow();
        shown_.start();
        lookAgainLater();
    }
}

void AboutWindow::lookAgainLater() {
    // Put away at once (minimized by the compositor, which never says so), this window leaves the
    // owner with the focus and no new activation to tell: shown anew then, but not again until
    // it has had the focus, as the compositor may be one that gives a new window none.
    QTimer::singleShot(moment, this, [this] {
        if (isVisible() && !isActiveWindow() && owner_.isActiveWindow() && !unseenRemap_) {
            unseenRemap_ = true;
            remap(*this);
        }
    });
}

void AboutWindow::bringToFront() {
    if (!isVisible() || remapping_)
        return;
    if (onWayland()) {
        // A Wayland client cannot raise its window; a window shown anew comes to the front. The
        // owner gets the focus back for a moment when this window goes: that is no new request.
        if (shown_.isValid() && shown_.elapsed() < moment)
            return;
        remap(*this);
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &owner_ || !isVisible())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::WindowActivate) {
        QMetaObject::invokeMethod(this, &AboutWindow::bringToFront, Qt::QueuedConnection);
    } else if (event->type() == QEvent::WindowStateChange &&
               (owner_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        // The manager's answer, maximized or full screen: asked back to normal only now, as a
        // Wayland compositor requires the configured size until it answers the next request.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible())
                    owner_.setWindowState(owner_.windowState() &
                                          ~(Qt::WindowMaximized | Qt::WindowFullScreen));
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void AboutWindow::Command1_Click() {
    close();
}

void AboutWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        unseenRemap_ = false;
}

// A close is accepted: the window hides, and is kept for the next time.
void AboutWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Minimized by the window manager (a spontaneous hide), or about to be shown anew: still shown.
    if (event->spontaneous() || remapping_)
        return;
    owner_.setEnabled(true);
    returnFocus();
}

void AboutWindow::returnFocus() {
    // Disabling the owner took the focus from its control; give it back, and the owner the
    // keyboard, as closing a dialog does.
    owner_.activateWindow();
    if (returnFocus_ && returnFocus_->isEnabled() && returnFocus_->isVisible())
        returnFocus_->setFocus(Qt::OtherFocusReason);
}

} // namespace quorvel
