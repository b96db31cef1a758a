#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QWindow;

namespace quorvel {

class CentredPlacement;

// Form2: name, version and contact lines, closed with "OK" or its close box. It has no parent
// widget on purpose: its owner is disabled while it shows, and a disabled parent would disable
// it too. The owner keeps it and destroys it.
class AboutWindow : public QWidget {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget& owner);

    // Shows the window centred over `window`, in front. Closing it gives the keyboard focus back
    // to `control`, the control of `window` that had it.
    void showOver(const QWidget& window, QWidget* control);

    // Brings the shown window to the front with the keyboard focus, also from where the window
    // manager minimized it or put its owner over it.
    void bringToFront();

    void Command1_Click();

protected:
    // Closing it any way at all has the effect of "OK": once it is hidden, the owner is enabled.
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The owner activated (clicked, or chosen in a task bar) while this window shows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void returnFocus();
    void watchStates(QWindow& window);
    void undoMinimizing(bool about);
    void remap(QWidget& window);
    void lookAgainLater();

    QWidget& owner_;
    CentredPlacement* placement_;
    QPointer<QWidget> returnFocus_;
    QPointer<QWindow> watchedSelf_;
    QPointer<QWindow> watchedOwner_;
    QElapsedTimer shown_;
    bool remapping_ = false;   // hidden only to be shown again at once
    bool unseenRemap_ = false; // shown anew unasked, and has not had the focus since
};

} // namespace quorvel
