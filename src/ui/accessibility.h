#pragma once

#include <QAccessible>
#include <QLabel>
#include <QPointer>

#include <vector>

class QAction;
class QMenu;
class QMetaObject;

namespace quorvel {

// Gives every widget of exactly the class `type` the accessible role `role` in place of the one
// Qt derives from its base class (a plain QWidget window is a "filler" to a screen reader). Call
// before the first such widget is created: Qt keeps the interface it first made for a widget.
void useAccessibleRole(const QMetaObject& type, QAccessible::Role role);

// Has a screen reader pass over the page stack inside every QTabWidget made from now on: by
// default a "layered pane", which Orca names at every move into a page. The pages say which one
// it is.
void passOverTabPageStacks();

// Disables `window` behind `front`, which has just been asked to show in front. Where `window`
// is the active window, that waits until `front` is: a control losing the keyboard focus in the
// active window is reported as a focus event, and screen readers (Orca 48 and later) would then
// read the disabled window into `front`. Should `front` not become active soon, `window` is
// disabled all the same (after a second); nothing is done if `front` has closed meanwhile.
void disableBehind(QWidget& window, const QWidget& front);

// Keeps a menu's closing from giving the keyboard focus back to a control of `window` just
// before one of the `opening` entries opens a window over it: Orca handles a change of window
// before a change of focus, so it would read that focus, and the window behind, after the new
// window. The control is held instead, for the new window to give the focus back to, and the
// focus parked on `window` itself.
class MenuFocusHold : public QObject {
public:
    MenuFocusHold(QWidget& window, std::vector<QAction*> opening);

    // Watches `menu` for one of the opening entries chosen by key or click.
    void watch(QMenu& menu);

    // The control to give the focus back to, once: the one held, or else the window's focus
    // widget.
    QWidget* takeControl();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    std::vector<QAction*> opening_;
    QPointer<QWidget> last_; // the window's control that last had the focus, not its menu bar
    QPointer<QWidget> held_;
};

// The event that has a screen reader speak a notification that is showing already: an
// announcement where Qt has them (6.8), else the notification shown once more.
QAccessible::Event repeatedNotificationEvent();

// A label that is news when it appears: a screen reader speaks it when it is shown, and again
// at every notify(). It looks and behaves as any QLabel.
class NotificationLabel : public QLabel {
    Q_OBJECT

public:
    NotificationLabel(const QString& text, QWidget* parent);

    // Shows the label. If it was showing already nothing changes on screen, yet the news is
    // spoken again.
    void notify();

private:
    void speakAgain();
};

} // namespace quorvel
