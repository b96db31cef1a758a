#pragma once

#include <QWidget>

namespace quorvel {

class CentredPlacement;
class ModalKeeper;

// Form2: name, version and contact lines, closed with "OK" or its close box. It has no parent
// widget on purpose: its owner is disabled while it shows, and a disabled parent would disable
// it too; it is kept in front of its owner instead. The owner keeps it and destroys it.
class AboutWindow : public QWidget {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget& owner);

    // Shows the window centred over `window`, in front. Closing it gives the keyboard focus back
    // to `control`, the control of `window` that had it.
    void showOver(const QWidget& window, QWidget* control);

    void Command1_Click();

private:
    CentredPlacement* placement_;
    ModalKeeper* keeper_;
};

} // namespace quorvel
