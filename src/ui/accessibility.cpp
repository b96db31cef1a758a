#include "ui/accessibility.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QHash>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>

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
    constexpr int patienceMs = 1000;
    QTimer::singleShot(patienceMs, waiting, disable);
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
