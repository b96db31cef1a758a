#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QObject>
#include <QWindow>

#include <cstdint>

class QWidget;

namespace quorvel {

// What the program tells an X11 window manager itself, and hears from it, through Qt's own
// connection to the X server: where Qt alone says too little or the manager does too much. There
// is one, installed as the application's one filter of X events, and only where the program runs
// on X11 in a build that has the X protocol library (the one place that is decided).
class X11Support : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Null where the program is not on X11.
    static X11Support* instance();

    // Whether `id` names the native window of `window`, which is not made for the asking.
    static bool isWindowOf(const QWidget& window, WId id);

    // Qt writes the Motif hints with resizing always allowed (and a window manager that reads
    // them then offers resizing, maximizing and full screen); these allow moving, closing where
    // the window has a close button and minimizing where it has a minimize button, nothing else.
    // Read when the window is mapped.
    void writeMotifHints(QWidget& window);

    // Moves the keyboard focus to `window` at once, as a program that has the focus in one of
    // its windows may (the "locally active" input model), without asking the window manager.
    void giveFocus(const QWidget& window);

signals:
    // The window manager gave the keyboard focus to `window` (not a pointer's or a grab's focus).
    void focusGiven(WId window);
    // The window manager deleted _NET_WM_STATE of `window` (Qt ignores a deleted property).
    void stateDeleted(WId window);

private:
    X11Support();
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;
    std::uint32_t atom(const char* name);

    QHash<QByteArray, std::uint32_t> atoms_; // of the X connection: interned once
};

} // namespace quorvel
