// The About window, the help message and the ways the program ends.
#include "main_window_fixture.h"
#include "ui/about_window.h"

#include <QAction>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>

namespace quorvel {
namespace {

using mainlayout::Page;

class AboutWindowTest : public test::MainWindowTest {
protected:
    QAction* action(const char* name) { return window.findChild<QAction*>(name); }

    // Every About window there is; it has no parent widget, so look among the windows.
    static std::vector<AboutWindow*> aboutWindows() {
        std::vector<AboutWindow*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* about = qobject_cast<AboutWindow*>(w))
                found.push_back(about);
        }
        return found;
    }

    AboutWindow* openAbout() {
        action("about")->trigger();
        const auto found = aboutWindows();
        EXPECT_EQ(found.size(), 1u);
        if (found.empty())
            return nullptr;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(found.front()));
        return found.front();
    }

    static QPushButton* okButton(AboutWindow& about) {
        return about.findChild<QPushButton*>("Command1");
    }
};

TEST_F(AboutWindowTest, AboutDisablesTheMainWindowButNotItself) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->objectName(), "Form2");
    EXPECT_EQ(about->windowTitle(), "About Quorvel!");
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(window.isEnabled());
    EXPECT_FALSE(window.menuBar()->isEnabled());
    EXPECT_FALSE(tabs()->isEnabled());
    EXPECT_FALSE(writeOut()->isEnabled());
    EXPECT_TRUE(about->isEnabled());
    EXPECT_TRUE(okButton(*about)->isEnabled());

    QTest::mouseClick(okButton(*about), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(window.isEnabled());

    // Again: the same window, with the same content.
    const QString version = about->findChild<QLabel*>("Label2")->text();
    EXPECT_EQ(version, "Version 1.1  (24.10.2000)");
    EXPECT_EQ(openAbout(), about);
    EXPECT_EQ(about->findChild<QLabel*>("Label2")->text(), version);
    EXPECT_FALSE(window.isEnabled());
    QTest::mouseClick(okButton(*about), Qt::LeftButton);
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(AboutWindowTest, MainWindowIgnoresClicksWhileAboutShows) {
    QTemporaryDir dir;
    showPage(Page::Finish);
    text(15)->setText(dir.filePath("bot.conf"));
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);

    QTest::mouseClick(writeOut(), Qt::LeftButton);
    QTabBar* bar = tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Page::BotInfo).center());
    QMenuBar* menus = window.menuBar();
    QTest::mouseClick(menus, Qt::LeftButton, {},
                      menus->actionGeometry(menus->actions().front()).center());

    EXPECT_FALSE(QFile::exists(dir.filePath("bot.conf")));
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(markersShown(), test::noneShown);
}

TEST_F(AboutWindowTest, CloseBoxActsAsOk) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    about->close(); // what the window manager's close box and close key do
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(window.isEnabled());
    showPage(Page::Servers); // and the window reacts again
}

TEST_F(AboutWindowTest, AboutIsAFixedToolWindowCentredOverTheMainWindow) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    const Qt::WindowFlags flags = about->windowFlags();
    EXPECT_EQ(about->windowType(), Qt::Tool);
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    const QPoint offset = about->frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    QStringList focusable;
    for (QWidget* w : about->findChildren<QWidget*>()) {
        if (w->focusPolicy() & Qt::TabFocus)
            focusable << w->objectName();
    }
    EXPECT_EQ(focusable, QStringList{"Command1"});
    QTest::mouseClick(okButton(*about), Qt::LeftButton);
}

// Registered a second time with QT_SCALE_FACTOR=2.
TEST_F(AboutWindowTest, NoCaptionIsClipped) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    test::expectRequestedScale(*about);
    for (QLabel* label : about->findChildren<QLabel*>())
        test::expectWhole(*label);
    test::expectWhole(*okButton(*about));

    // The credit line and the right-aligned address share a row; their texts must not meet.
    auto* credit = about->findChild<QLabel*>("Label3");
    auto* mail = about->findChild<QLabel*>("Label4");
    const int creditEnds = credit->x() + credit->sizeHint().width();
    const int mailBegins = mail->geometry().right() + 1 - mail->sizeHint().width();
    EXPECT_LT(creditEnds, mailBegins);
    QTest::mouseClick(okButton(*about), Qt::LeftButton);
}

TEST_F(AboutWindowTest, HelpMessageIsShownAndAnyDismissalDoesNothing) {
    const BotSettings before = gathered();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_unknown}) {
        QString title, message;
        int buttons = 0;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        test::answerNextModal([&](QWidget& modal) {
            if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                title = box->windowTitle();
                message = box->text();
                icon = box->icon();
                buttons = int(box->buttons().size());
            }
            if (key == Qt::Key_unknown)
                modal.close(); // the close box
            else
                QTest::keyClick(&modal, key);
        });
        action("help2")->trigger();
        EXPECT_EQ(title, "Need help?!");
        EXPECT_EQ(message, "If You need help You shouldn't use this stuff. If you're having "
                           "problems just contact me (e-mail in About)");
        EXPECT_EQ(icon, QMessageBox::Information);
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(gathered(), before);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(tabs()->currentIndex(), Page::GeneralStuff);
}

// The program ends when its event loop returns. Runs `steps` inside the loop; the guard only
// stops a loop that would otherwise never end.
class ProgramEndTest : public AboutWindowTest {
protected:
    bool endsAfter(std::function<void()> steps) {
        bool guardFired = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            guardFired = true;
            QApplication::exit(1);
        });
        guard.start(30000);
        QTimer::singleShot(0, std::move(steps));
        QApplication::exec();
        return !guardFired;
    }
};

TEST_F(ProgramEndTest, ExitEndsItAfterAboutWasOpened) {
    EXPECT_TRUE(endsAfter([&] {
        AboutWindow* about = openAbout();
        QTest::mouseClick(okButton(*about), Qt::LeftButton);
        action("exit")->trigger();
    }));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ProgramEndTest, ClosingTheWindowEndsItAfterAboutWasOpened) {
    EXPECT_TRUE(endsAfter([&] {
        AboutWindow* about = openAbout();
        QTest::mouseClick(okButton(*about), Qt::LeftButton);
        window.close();
    }));
}

TEST_F(ProgramEndTest, ClosingTheWindowEndsItWhileAboutShows) {
    AboutWindow* about = nullptr;
    EXPECT_TRUE(endsAfter([&] {
        about = openAbout();
        window.close();
    }));
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isVisible());
}

} // namespace
} // namespace quorvel
