#pragma once

#include "ui/twip_scale.h"

#include <QPointer>
#include <QWidget>

namespace quorvel {

// Form2: name, version and contact lines, closed with "OK" or its close box. It has no parent
// widget on purpose: its owner is disabled while it shows, and a disabled parent would disable
// it too. The owner keeps it and destroys it.
class AboutWindow : public QWidget {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget& owner);

    const TwipScale& layoutScale() const { return scale_; }

    // Shows the window centred over `window`, in front. Closing it gives the keyboard focus back
    // to the control of `window` that had it.
    void showOver(const QWidget& window);

    void Command1_Click();

protected:
    // Closing it any way at all has the effect of "OK".
    void closeEvent(QCloseEvent* event) override;

private:
    void returnFocus();

    QWidget& owner_;
    TwipScale scale_;
    QPointer<QWidget> returnFocus_;
};

} // namespace quorvel
