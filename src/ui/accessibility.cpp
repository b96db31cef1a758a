#include "ui/accessibility.h"

#include <QAccessibleWidget>
#include <QHash>

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

// Consulted for each class of an object, most derived first.
QAccessibleInterface* roleFactory(const QString& className, QObject* object) {
    const auto role = roles().constFind(className.toLatin1());
    if (role == roles().cend() || !object->isWidgetType())
        return nullptr;
    return new RoleAccessible(static_cast<QWidget*>(object), *role);
}

} // namespace

void useAccessibleRole(const QMetaObject& type, QAccessible::Role role) {
    static const bool installed = (QAccessible::installFactory(roleFactory), true);
    Q_UNUSED(installed);
    roles().insert(type.className(), role);
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
