#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWindow>

class QHideEvent;
class QWidget;

namespace quorvel {

// Keeps a window that has no parent widget in front of its disabled owner while it shows, as a
// modal dialog is kept, whatever the window manager or compositor does with either: a click on
// the owner, or the owner chosen in a task bar, brings the window to the front with the keyboard
// focus; neither may stay minimized (a minimized window could not be found again where there is
// no task bar, and the disabled owner's title bar does nothing); the owner is not left maximized.
// Closed any way at all, the window has the effect of its "OK": the owner is enabled and its
// control that had the focus gets it back. A child of the window.
//
// A Wayland client can neither raise a window nor show a minimized one again, and is never told
// that its window was minimized: there the window is shown anew (hidden and shown) instead. The
// states, besides whether the window shows at all:
// - Hidden: closed; the owner has been given back its focus.
// - Shown: shown by the program, or had the focus since it was last shown anew unasked. Put away
//   within a moment of showing (as a compositor may do without saying so), it is shown anew.
// - ShownAnew: shown anew unasked, and has not had the focus since; not shown anew unasked again
//   until it has, as the compositor may be one that gives a new window no focus.
// - Remapping: hidden only to be shown again at once. That hiding is no closing, and nothing else
//   is done with the window meanwhile; after it, the state is what it was before.
// Each native window of the two is watched once: Qt may make new ones.
class ModalKeeper : public QObject {
public:
    ModalKeeper(QWidget& window, QWidget& owner);

    // Shows the window in front, over `over`, once its native window has been made. Closing it
    // gives the keyboard focus back to `control`, the control of `over` that had it.
    void show(const QWidget& over, QWidget* control);

    // Brings the shown window to the front with the keyboard focus, also from where the window
    // manager minimized it or put its owner over it.
    void bringToFront();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class State { Hidden, Shown, ShownAnew, Remapping };

    void watchStates(QWindow& window);
    void undoMinimizing(bool itself);
    void remap(QWidget& window);
    void lookAgainLater();
    void hidden(const QHideEvent& event);
    void giveFocusBack(WId given);

    QWidget& window_;
    QWidget& owner_;
    State state_ = State::Hidden;
    QPointer<QWidget> returnFocus_;
    QPointer<QWindow> watchedSelf_;
    QPointer<QWindow> watchedOwner_;
    QElapsedTimer shown_;
};

} // namespace quorvel
