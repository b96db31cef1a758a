#pragma once

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace quorvel::test {

// The one QApplication of a test process. It is never destroyed, so no widget outlives it.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "quorvel-ui-test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Hands the next modal dialog to `answer` once it shows, from inside the dialog's own event loop,
// so that a test can read and dismiss a box that blocks the call which opened it. `answer` must
// close the dialog.
inline void answerNextModal(std::function<void(QWidget&)> answer, int tries = 500) {
    QTimer::singleShot(0, [answer = std::move(answer), tries]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget())
            answer(*modal);
        else if (tries > 0)
            answerNextModal(std::move(answer), tries - 1);
    });
}

// A caption is shown whole when its widget is at least as large as the widget wants to be.
inline void expectWhole(const QWidget& widget) {
    const QSize hint = widget.sizeHint();
    EXPECT_LE(hint.width(), widget.width()) << widget.objectName().toStdString();
    EXPECT_LE(hint.height(), widget.height()) << widget.objectName().toStdString();
}

// Under QT_SCALE_FACTOR the scale must really be in force, or the second run proves nothing.
inline void expectRequestedScale(const QWidget& window) {
    bool ok = false;
    const double requested = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), ok ? requested : 1.0);
}

} // namespace quorvel::test
