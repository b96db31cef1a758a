// The windows as clients of a real Wayland compositor (run_in_weston.sh starts one). Maximize and
// full screen are asked for the way Qt's own title bar asks (QWindow::setWindowStates): a window
// that answers the compositor wrongly ends the whole process with a protocol error, so reaching
// the end of a test is part of what it proves.
#include "ui/about_window.h"
#include "widget_test_support.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWindow>

namespace quorvel {
namespace {

using mainlayout::Page;

constexpr int answerTimeout = 5000; // ms for the compositor to answer a request

class WaylandSessionTest : public test::MainWindowTest {
protected:
    QTemporaryDir dir;

    void SetUp() override {
        ASSERT_TRUE(QGuiApplication::platformName().startsWith("wayland"))
            << "runs as a Wayland client only, not on "
            << QGuiApplication::platformName().toStdString();
        MainWindowTest::SetUp();
    }

    // Has the window paint and waits long enough for the compositor to check what it got: a
    // protocol error would end the process during the wait.
    static void letCompositorCheck(QWidget& w) {
        w.repaint();
        QTest::qWait(300);
    }

    // Asks for `state` and back to normal, each time waiting for the compositor's answer. The
    // window is fixed at its size again after. `content`, if given, keeps its size and place
    // throughout (a message box instead lays its text and button out anew, as it may).
    static void visit(QWidget& w, Qt::WindowState state, QWidget* content) {
        SCOPED_TRACE(w.objectName().toStdString() + " " + std::to_string(int(state)));
        const QSize fixed = w.size();
        const auto placeOf = [&] {
            return content ? QRect(content->mapTo(&w, QPoint()), content->size()) : QRect();
        };
        const QRect place = placeOf();
        QWindow* handle = w.windowHandle();
        ASSERT_NE(handle, nullptr);

        handle->setWindowStates(state);
        // The widget learns its state from the compositor's answer, not from the request.
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.windowState() & state; }, answerTimeout));
        if (state == Qt::WindowMaximized) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return w.size() != fixed; }, answerTimeout));
        }
        letCompositorCheck(w);
        EXPECT_EQ(placeOf(), place);

        handle->setWindowStates(Qt::WindowNoState);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return w.windowState() == Qt::WindowNoState && w.size() == fixed; },
            answerTimeout));
        letCompositorCheck(w);
        EXPECT_EQ(w.minimumSize(), fixed);
        EXPECT_EQ(w.maximumSize(), fixed);
    }

    void writeOutTo(const QString& path) {
        showPage(Page::Finish);
        typeInto(text(15), path);
        QTest::mouseClick(writeOut(), Qt::LeftButton);
    }
};

TEST_F(WaylandSessionTest, MainWindowSurvivesMaximizeAndFullScreenAndGoesOnWorking) {
    visit(window, Qt::WindowMaximized, window.centralWidget());
    visit(window, Qt::WindowFullScreen, window.centralWidget());
    visit(window, Qt::WindowMaximized, window.centralWidget()); // and again

    for (int page = Page::GeneralStuff; page <= Page::Finish; ++page)
        showPage(Page(page));
    const QString target = dir.filePath("bot.conf");
    writeOutTo(target);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(markersShown(), test::allShown);

    // Maximized while the markers show: they and what was typed stay.
    window.windowHandle()->setWindowStates(Qt::WindowMaximized);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isMaximized(); }, answerTimeout));
    letCompositorCheck(window);
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(text(15)->text(), target);
    QFile::remove(target);
    QTest::mouseClick(writeOut(), Qt::LeftButton); // writes while maximized, too
    EXPECT_TRUE(QFile::exists(target));
    letCompositorCheck(window);
}

TEST_F(WaylandSessionTest, AboutSurvivesMaximizeAndFullScreenAndCannotBeLost) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    auto* ok = about->findChild<QPushButton*>("Command1");
    visit(*about, Qt::WindowMaximized, ok);
    visit(*about, Qt::WindowFullScreen, ok);
    // The disabled main window's title bar does nothing: maximized and minimized (as Qt's title
    // bar asks), it comes back at its fixed size, with About in front.
    const QSize mainSize = window.size();
    for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        SCOPED_TRACE(int(state));
        window.windowHandle()->setWindowStates(state);
        letCompositorCheck(window);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.windowState() == Qt::WindowNoState && window.size() == mainSize; },
            answerTimeout));
        EXPECT_FALSE(window.isEnabled());
        EXPECT_TRUE(about->isVisible());
    }

    // Maximized, closed, opened again: the same window at its fixed size.
    const QSize fixed = about->size();
    about->windowHandle()->setWindowStates(Qt::WindowMaximized);
    EXPECT_TRUE(QTest::qWaitFor([&] { return about->isMaximized(); }, answerTimeout));
    letCompositorCheck(*about);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(openAbout(), about);
    letCompositorCheck(*about);
    EXPECT_FALSE(window.isEnabled());

    // Minimized, as Qt's title bar offers here: no one could find it again, so it is shown anew.
    about->windowHandle()->setWindowStates(Qt::WindowMinimized);
    letCompositorCheck(*about);
    EXPECT_TRUE(QTest::qWaitFor([&] { return about->isVisible() && !about->isMinimized(); },
                                answerTimeout));
    EXPECT_FALSE(window.isEnabled());
    EXPECT_EQ(about->size(), fixed);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(window.isEnabled());

    const QString target = dir.filePath("after-about.conf");
    writeOutTo(target);
    EXPECT_TRUE(QFile::exists(target));
}

TEST_F(WaylandSessionTest, MessageBoxesSurviveMaximizeAndFullScreen) {
    const auto maximizeAndClose = [&](QWidget& modal) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&modal));
        visit(modal, Qt::WindowMaximized, nullptr);
        visit(modal, Qt::WindowFullScreen, nullptr);
        modal.windowHandle()->setWindowStates(Qt::WindowMaximized);
        EXPECT_TRUE(QTest::qWaitFor([&] { return modal.isMaximized(); }, answerTimeout));
        letCompositorCheck(modal);
        // A message box fixes its size again at a change of style (as when it enters an
        // output): while maximized, it must keep the configured size.
        QEvent styleChange(QEvent::StyleChange);
        QCoreApplication::sendEvent(&modal, &styleChange);
        letCompositorCheck(modal);
        QTest::keyClick(&modal, Qt::Key_Escape);
    };
    test::answeringModal(maximizeAndClose, [&] { action("help2")->trigger(); });
    letCompositorCheck(window);

    // The box that reports a failed write.
    showPage(Page::Finish);
    typeInto(text(15), dir.filePath("missing/bot.conf"));
    test::answeringModal(maximizeAndClose, [&] { QTest::mouseClick(writeOut(), Qt::LeftButton); });
    EXPECT_EQ(markersShown(), test::noneShown);

    const QString target = dir.filePath("bot.conf");
    writeOutTo(target);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(markersShown(), test::allShown);
}

} // namespace
} // namespace quorvel
