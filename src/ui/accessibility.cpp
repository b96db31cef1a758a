#include "ui/accessibility.h"

#include "ui/timings.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace quorvel {

namespace {

QHash<QByteArray, QAccessible::Role>& roles() {
    static QHash<QByteArray, QAccessible::Role> byClass;
    return byClass;
}

// Qt's interface for any widget, with the role given; a label without an accessible name of its
// own is named by its text, as Qt's interface for labels does.
class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override {
        const auto* label = qobject_cast<const QLabel*>(widget());
        if (t == QAccessible::Name && label && label->accessibleName().isEmpty())
            return label->text();
        return QAccessibleWidget::text(t);
    }
};

bool& passingOverTabPageStacks() {
    static bool passing = false;
    return passing;
}

// Consulted for each class of an object, most derived first.
QAccessibleInterface* roleFactory(const QString& className, QObject* object) {
    if (!object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (passingOverTabPageStacks() && className == QLatin1String("QStackedWidget") &&
        qobject_cast<QTabWidget*>(widget->parentWidget()))
        return new RoleAccessible(widget, QAccessible::Client); // a "filler", passed over
    const auto role = roles().constFind(className.toLatin1());
    if (role == roles().cend())
        return nullptr;
    return new RoleAccessible(widget, *role);
}

void installRoleFactory() {
    static const bool installed = (QAccessible::installFactory(roleFactory), true);
    Q_UNUSED(installed);
}

} // namespace

void useAccessibleRole(const QMetaObject& type, QAccessible::Role role) {
    installRoleFactory();
    roles().insert(type.className(), role);
}

void passOverTabPageStacks() {
    installRoleFactory();
    passingOverTabPageStacks() = true;
}

void disableBehind(QWidget& window, const QWidget& front) {
    if (!window.isActiveWindow()) {
        window.setEnabled(false);
        return;
    }
    // Runs once, whichever comes first; window owns both connections' context.
    auto* waiting = new QObject(&window);
    const QPointer<const QWidget> shown(&front);
    const auto disable = [&window, waiting, shown] {
        if (shown && shown->isVisible())
            window.setEnabled(false);
        waiting->deleteLater();
    };
    QObject::connect(qApp, &QApplication::focusChanged, waiting, [&window, disable] {
        if (!window.isActiveWindow())
            disable();
    });
    // A window manager may refuse to hand over the focus.
    QTimer::singleShot(timings::focusHandoverMs, waiting, disable);
}

MenuFocusHold::MenuFocusHold(QWidget& window, std::vector<QAction*> opening)
    : QObject(&window), window_(window), opening_(std::move(opening)) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == &window_ && !qobject_cast<QMenuBar*>(now))
            last_ = now;
    });
}

void MenuFocusHold::watch(QMenu& menu) {
    menu.installEventFilter(this);
}

QWidget* MenuFocusHold::takeControl() {
    QWidget* control = held_ ? held_.data() : window_.focusWidget();
    held_ = nullptr;
    return control;
}

bool MenuFocusHold::eventFilter(QObject* watched, QEvent* event) {
    auto* menu = qobject_cast<QMenu*>(watched);
    QAction* chosen = nullptr;
    if (menu && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
            chosen = menu->activeAction();
    } else if (menu && event->type() == QEvent::MouseButtonRelease) {
        chosen = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    }
    if (chosen && chosen->isEnabled() &&
        std::find(opening_.begin(), opening_.end(), chosen) != opening_.end()) {
        // Parked on the window itself while the menu has the keyboard, so that the menu's
        // closing gives it back there: a screen reader does not read a window's own focus.
        held_ = last_;
        window_.setFocus(Qt::OtherFocusReason);
    }
    return QObject::eventFilter(watched, event);
}

NotificationLabel::NotificationLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    useAccessibleRole(staticMetaObject, QAccessible::Notification);
    // Set here, not through QLabel's constructor: setting a text asks for the accessible
    // interface, which must be made for this class.
    setText(text);
}

void NotificationLabel::notify() {
    const bool wasShowing = isVisible();
    show();
    if (wasShowing)
        speakAgain(); // else appearing is what is spoken
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
QAccessible::Event repeatedNotificationEvent() {
    return QAccessible::Announcement;
}
void NotificationLabel::speakAgain() {
    QAccessibleAnnouncementEvent event(this, text());
    QAccessible::updateAccessibility(&event);
}
#else
QAccessible::Event repeatedNotificationEvent() {
    return QAccessible::ObjectShow;
}
void NotificationLabel::speakAgain() {
    QAccessibleEvent event(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}
#endif

} // namespace quorvel
