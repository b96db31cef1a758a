#include "ui/push_button.h"

#include <QKeyEvent>

namespace quorvel {

void PushButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // Holding the key down presses the button once, as holding Space does.
    if (!event->isAutoRepeat())
        click();
    event->accept();
}

} // namespace quorvel
