#pragma once

#include <QPointer>
#include <QWidget>

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
    // to the control of `window` that had it.
    void showOver(const QWidget& window);

    void Command1_Click();

protected:
    // Closing it any way at all has the effect of "OK": once it is hidden, the owner is enabled.
    void hideEvent(QHideEvent* event) override;

private:
    void returnFocus();

    QWidget& owner_;
    CentredPlacement* placement_;
    QPointer<QWidget> returnFocus_;
};

} // namespace quorvel
