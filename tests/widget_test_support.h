#pragma once

#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace quorvel::test {

// The one QApplication of a test process, made by the first test that needs it and ended after
// the last one, as a program ends it: only then does Qt free its font caches (which LeakSanitizer
// reports otherwise, as with Qt 6.11). Each test's widgets are gone by then.
class ApplicationEnvironment : public ::testing::Environment {
public:
    QApplication& application() {
        static int argc = 1;
        static char name[] = "quorvel-ui-test";
        static char* argv[] = {name, nullptr};
        if (!app) {
            // Qt 6.8 asks the desktop portal over D-Bus at start and loses the pending call's
            // watcher when the application ends before the answer comes; no test needs a portal.
            qputenv("QT_NO_XDG_DESKTOP_PORTAL", "1");
            app = new QApplication(argc, argv);
        }
        return *app;
    }
    void TearDown() override {
        delete app;
        app = nullptr;
    }

private:
    QApplication* app = nullptr;
};

inline ApplicationEnvironment* const applicationEnvironment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

inline QApplication& application() {
    return applicationEnvironment->application();
}

// Runs `action` and hands the first modal dialog it opens to `answer` (which must close it),
// from inside the dialog's own event loop: the box blocks `action` until then.
inline void answeringModal(const std::function<void(QWidget&)>& answer,
                           const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll.stop();
            answer(*modal);
        }
    });
    poll.start();
    action();
}

// A caption is whole when its widget is at least as large as the widget wants to be. Under
// QT_SCALE_FACTOR the scale must really be in force, or that run proves nothing.
inline void expectCaptionsWhole(const QWidget& window, const QList<QWidget*>& widgets) {
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), factor.isEmpty() ? 1.0 : factor.toDouble());
    for (const QWidget* w : widgets) {
        EXPECT_LE(w->sizeHint().width(), w->width()) << w->objectName().toStdString();
        EXPECT_LE(w->sizeHint().height(), w->height()) << w->objectName().toStdString();
    }
}

// Empty when a window's `frame` is placed well in `area`: centred on `centre` on each axis on
// which it fits, unless that would put it partly outside the area, and where it does not fit,
// with its top and left edges (title bar, menus) at the area's. Otherwise what is wrong.
inline std::string misplacement(const QRect& frame, QPoint centre, const QRect& area) {
    QStringList wrong;
    const auto axis = [&](const char* name, int start, int size, int mid, int areaStart,
                          int areaSize) {
        const int end = start + size;
        const int areaEnd = areaStart + areaSize;
        const bool atEdge = start == areaStart || end == areaEnd;
        const bool placed = size > areaSize ? start == areaStart
                                            : start >= areaStart && end <= areaEnd &&
                                                  (std::abs(start + size / 2 - mid) <= 1 || atEdge);
        if (!placed)
            wrong << QString::asprintf("%s spans %d to %d; the area %d to %d, the centre %d", name,
                                       start, end, areaStart, areaEnd, mid);
    };
    axis("x", frame.x(), frame.width(), centre.x(), area.x(), area.width());
    axis("y", frame.y(), frame.height(), centre.y(), area.y(), area.height());
    return wrong.join(QStringLiteral("; ")).toStdString();
}

// A shown main window, driven through its widgets as a user would.
class MainWindowTest : public ::testing::Test {
protected:
    QApplication& app = application();
    MainWindow window;

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    template <class T = QWidget> T* child(const QString& name) {
        auto* widget = window.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QLineEdit* text(int n) { return child<QLineEdit>(QStringLiteral("Text%1").arg(n)); }
    QCheckBox* check(int n) { return child<QCheckBox>(QStringLiteral("Check%1").arg(n)); }
    QTabWidget* tabs() { return child<QTabWidget>(QStringLiteral("SSTab1")); }
    QPushButton* writeOut() { return child<QPushButton>(QStringLiteral("Command1")); }
    QAction* action(const char* name) { return window.findChild<QAction*>(name); }
    // Help > About...; About has no parent widget, so it is looked for among the windows, of
    // which one only may be an About window.
    AboutWindow* openAbout() {
        action("about")->trigger();
        return shownAbout();
    }
    AboutWindow* shownAbout() {
        AboutWindow* found = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* about = qobject_cast<AboutWindow*>(w)) {
                EXPECT_EQ(found, nullptr) << "a second About window";
                found = about;
            }
        }
        EXPECT_TRUE(found && found->isVisible() && QTest::qWaitForWindowExposed(found));
        return found;
    }
    static void clickOk(AboutWindow* about) {
        QTest::mouseClick(about->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    }

    void showPage(mainlayout::Page page) {
        QTabBar* bar = tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        ASSERT_EQ(tabs()->currentIndex(), page);
    }
    // Clicks into the box, selects everything and types over it.
    void typeInto(QLineEdit* box, const QString& value) {
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, value);
    }
    // Clicks the square, which is at the left whatever the caption.
    void clickBox(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }
    // The "[ OK ]" of each stage, then the banner.
    std::vector<bool> markersShown() {
        std::vector<bool> shown;
        for (int n : mainlayout::markerLabels)
            shown.push_back(!child<QLabel>(QStringLiteral("Label%1").arg(n))->isHidden());
        return shown;
    }
    BotSettings gathered() {
        window.gatherSettings();
        return window.settings();
    }
};

inline const std::vector<bool> allShown(6, true);
inline const std::vector<bool> noneShown(6, false);

} // namespace quorvel::test
