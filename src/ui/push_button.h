#pragma once

#include <QPushButton>

namespace quorvel {

// A push button that Return and the keypad's Enter press while it has the keyboard focus, as
// Space does. It is never a default button: Enter in another control does not reach it.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quorvel
