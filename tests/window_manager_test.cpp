// Under a real X server with a window manager (run by with_window_manager.sh): only there do the
// windows have a frame of the window manager's making, whose size is unknown until they are shown.
#include "ui/about_window.h"
#include "ui/window_placement.h"
#include "widget_test_support.h"

#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QWindow>

namespace quorvel {
namespace {

class WindowManagerTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        test::MainWindowTest::SetUp();
    }

    // The frame arrives after the window is mapped, and the window may move once more then.
    static std::string settledMisplacement(const QWidget& w,
                                           const std::function<QPoint()>& centre) {
        std::string wrong;
        const bool settled = QTest::qWaitFor(
            [&] {
                const QRect area = w.screen()->availableGeometry();
                wrong = currentFrame(w) == w.geometry()
                            ? "no frame: is a window manager running?"
                            : test::misplacement(currentFrame(w), centre(), area);
                return wrong.empty();
            },
            20000); // openbox may be slow to frame a window under a sanitizer on a busy machine
        return settled ? std::string() : wrong;
    }

    static QByteArray xprop(const QStringList& arguments) {
        QProcess xprop;
        xprop.start("xprop", arguments);
        EXPECT_TRUE(xprop.waitForFinished(5000));
        return xprop.readAllStandardOutput();
    }

    // The Motif functions the window manager reads: the second value of _MOTIF_WM_HINTS.
    static unsigned motifFunctions(const QWidget& w) {
        const QByteArray hints = xprop({"-id", QString::number(w.winId()), "_MOTIF_WM_HINTS"});
        const QList<QByteArray> values = hints.split('=').value(1).split(',');
        bool ok = false;
        const unsigned functions = values.value(1).trimmed().toUInt(&ok, 16);
        EXPECT_TRUE(ok && values.value(0).trimmed().toUInt(nullptr, 16) & 1) << "no functions";
        return functions;
    }
};

TEST_F(WindowManagerTest, WindowsAreCentredFrameIncludedAndKeepTheirTitleBarsOnTheScreen) {
    const QRect area = window.screen()->availableGeometry();
    EXPECT_EQ(settledMisplacement(window, [&] { return area.center(); }), "");
    EXPECT_TRUE(area.contains(currentFrame(window).topLeft()));
    EXPECT_TRUE(area.contains(window.menuBar()->mapToGlobal(QPoint(0, 0))));

    for (int round = 0; round < 2; ++round) { // the first time and after it was hidden
        AboutWindow* about = openAbout();
        ASSERT_NE(about, nullptr) << "round " << round;
        EXPECT_EQ(settledMisplacement(*about, [&] { return currentFrame(window).center(); }), "")
            << "round " << round;
        about->findChild<QPushButton*>("Command1")->click();
        EXPECT_TRUE(window.isEnabled());
    }
}

// The window manager is told that neither window can be resized or maximized (Motif functions:
// all 1, resize 2, minimize 8, maximize 16), and that About cannot be minimized.
TEST_F(WindowManagerTest, FixedSizeWindowsOfferNoResizingOrMaximizing) {
    EXPECT_EQ(motifFunctions(window) & (1 | 2 | 16), 0u);
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(motifFunctions(*about) & (1 | 2 | 8 | 16), 0u);
}

// Whatever the window manager does with the disabled main window, About comes to the front with
// the keyboard focus; minimized (openbox minimizes both), both are shown again.
TEST_F(WindowManagerTest, AboutCannotBeLostBehindOrWithTheMainWindow) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    about->findChild<QPushButton*>("Command1")->click();
    ASSERT_EQ(openAbout(), about); // shown a second time, in a native window made anew
    EXPECT_TRUE(QTest::qWaitForWindowActive(about));

    window.windowHandle()->requestActivate(); // as a click on it or its task bar entry does
    QTest::qWait(300);
    EXPECT_TRUE(QTest::qWaitForWindowActive(about));

    for (QWidget* minimized : {static_cast<QWidget*>(about), static_cast<QWidget*>(&window)}) {
        SCOPED_TRACE(minimized->objectName().toStdString());
        minimized->windowHandle()->showMinimized();
        QTest::qWait(300);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return about->isVisible() && !about->isMinimized() && !window.isMinimized(); },
            5000));
        EXPECT_TRUE(QTest::qWaitForWindowActive(about));
        EXPECT_FALSE(window.isEnabled());
    }

    about->findChild<QPushButton*>("Command1")->click();
    EXPECT_TRUE(window.isEnabled());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Some managers (fluxbox) leave full screen by deleting _NET_WM_STATE rather than emptying it:
// the window is then in the normal state again, and at its fixed size.
TEST_F(WindowManagerTest, DeletedWindowStateMeansTheNormalStateAtTheFixedSize) {
    const QSize fixed = window.size();
    window.setWindowState(Qt::WindowFullScreen);
    const QStringList id{"-id", QString::number(window.winId())};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return xprop(id + QStringList{"_NET_WM_STATE"}).contains("FULLSCREEN"); }, 5000));
    xprop(id + QStringList{"-remove", "_NET_WM_STATE"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.windowState() == Qt::WindowNoState; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.size() == fixed; }, 5000))
        << window.size().width() << "x" << window.size().height();
}

} // namespace
} // namespace quorvel
