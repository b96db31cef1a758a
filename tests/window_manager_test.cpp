// Under a real X server with a window manager (run by with_window_manager.sh): only there do the
// windows have a frame of the window manager's making, whose size is unknown until they are shown.
#include "ui/about_window.h"
#include "widget_test_support.h"

#include <QMenuBar>
#include <QScreen>

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
                wrong = w.frameGeometry() == w.geometry()
                            ? "no frame: is a window manager running?"
                            : test::misplacement(w.frameGeometry(), centre(), area);
                return wrong.empty();
            },
            5000);
        return settled ? std::string() : wrong;
    }
};

TEST_F(WindowManagerTest, WindowsAreCentredFrameIncludedAndKeepTheirTitleBarsOnTheScreen) {
    const QRect area = window.screen()->availableGeometry();
    EXPECT_EQ(settledMisplacement(window, [&] { return area.center(); }), "");
    EXPECT_TRUE(area.contains(window.frameGeometry().topLeft()));
    EXPECT_TRUE(area.contains(window.menuBar()->mapToGlobal(QPoint(0, 0))));

    for (int round = 0; round < 2; ++round) { // the first time and after it was hidden
        action("about")->trigger();
        AboutWindow* about = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<AboutWindow*>(w))
                about = found;
        }
        ASSERT_TRUE(about && QTest::qWaitForWindowExposed(about)) << "round " << round;
        EXPECT_EQ(settledMisplacement(*about, [&] { return window.frameGeometry().center(); }), "")
            << "round " << round;
        about->findChild<QPushButton*>("Command1")->click();
        EXPECT_TRUE(window.isEnabled());
    }
}

} // namespace
} // namespace quorvel
