// The About window, the help message and the ways the program ends.
#include "ui/about_window.h"
#include "widget_test_support.h"

#include "config/version.h"

#include <QDate>

#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>

namespace quorvel {
namespace {

using mainlayout::Page;

using AboutWindowTest = test::MainWindowTest;

TEST_F(AboutWindowTest, AboutDisablesTheMainWindowButNotItself) {
    QTemporaryDir dir;
    showPage(Page::Finish);
    text(15)->setText(dir.filePath("bot.conf"));
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "About Quorvel!");
    EXPECT_EQ(about->findChild<QLabel*>("Label2")->text(), "Version 1.1  (24.10.2000)");
    EXPECT_FALSE(window.isEnabled() || window.menuBar()->isEnabled() || tabs()->isEnabled());
    EXPECT_TRUE(about->isEnabled());
    const QPoint offCentre = about->frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    // Clicks on the main window's button, tabs and menus do nothing.
    QTest::mouseClick(writeOut(), Qt::LeftButton);
    QTabBar* bar = tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Page::BotInfo).center());
    QMenuBar* menus = window.menuBar();
    QTest::mouseClick(menus, Qt::LeftButton, {},
                      menus->actionGeometry(menus->actions()[0]).center());
    EXPECT_FALSE(QFile::exists(dir.filePath("bot.conf")));
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    clickOk(about); // a click on a disabled button would do nothing
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(openAbout(), about); // the same window again
    EXPECT_FALSE(window.isEnabled());
    about->close(); // what its close box does
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(window.isEnabled());
}

// The main window comes back only once the About window has gone, whichever way it went: with
// the mouse, with Return or Enter on "OK", or by its close box. The keyboard focus is back where
// it was.
TEST_F(AboutWindowTest, OkOrCloseHidesItBeforeTheMainWindowComesBack) {
    struct WatchEnabling : QObject {
        const QWidget* about = nullptr;
        std::vector<bool> aboutVisibleWhenEnabled;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::EnabledChange &&
                static_cast<QWidget*>(watched)->isEnabled())
                aboutVisibleWhenEnabled.push_back(about->isVisible());
            return false;
        }
    } watch;
    window.installEventFilter(&watch);

    const std::function<void(AboutWindow*)> ways[] = {
        clickOk,
        [](AboutWindow* about) {
            auto* ok = about->findChild<QPushButton*>("Command1");
            ok->setFocus();
            QTest::keyClick(ok, Qt::Key_Return);
        },
        [](AboutWindow* about) {
            QTest::keyClick(about->findChild<QPushButton*>("Command1"), Qt::Key_Enter,
                            Qt::KeypadModifier);
        },
        [](AboutWindow* about) { about->close(); },
    };
    const std::pair<Page, QWidget*> focused[] = {{Page::Finish, writeOut()},
                                                 {Page::BotInfo, text(16)},
                                                 {Page::Servers, text(12)},
                                                 {Page::GeneralStuff, text(1)}};
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        showPage(focused[i].first);
        focused[i].second->setFocus();
        AboutWindow* about = openAbout();
        ASSERT_NE(about, nullptr);
        watch.about = about;
        ways[i](about);
        EXPECT_FALSE(about->isVisible());
        EXPECT_TRUE(window.isEnabled());
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_EQ(QApplication::focusWidget(), focused[i].second) << i;
    }
    EXPECT_EQ(watch.aboutVisibleWhenEnabled, std::vector<bool>(4, false));
    window.removeEventFilter(&watch);
}

// Registered a second time with QT_SCALE_FACTOR=2.
TEST_F(AboutWindowTest, NoCaptionIsClipped) {
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    QList<QWidget*> captioned;
    for (QLabel* label : about->findChildren<QLabel*>())
        captioned << label;
    test::expectCaptionsWhole(*about, captioned);
    // The credit line and the right-aligned address share a row; their texts must not meet.
    auto* credit = about->findChild<QLabel*>("Label3");
    auto* mail = about->findChild<QLabel*>("Label4");
    EXPECT_LT(credit->x() + credit->sizeHint().width(),
              mail->geometry().right() + 1 - mail->sizeHint().width());
}

// The title and About name the version and release date the build was given, in the texts the
// window has always shown ("Quorvel! 1.1", "Version 1.1  (24.10.2000)").
TEST_F(AboutWindowTest, TitleAndAboutNameTheBuildsVersion) {
    const QString number = QString::fromUtf8(version.data(), qsizetype(version.size()));
    const QDate released = QDate::fromString(
        QString::fromUtf8(releaseDate.data(), qsizetype(releaseDate.size())), Qt::ISODate);
    ASSERT_TRUE(released.isValid());
    EXPECT_EQ(window.windowTitle(), "Quorvel! " + number);
    AboutWindow* about = openAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->findChild<QLabel*>("Label2")->text(),
              "Version " + number + "  (" + released.toString(u"dd.MM.yyyy") + ")");
    clickOk(about);
}

TEST_F(AboutWindowTest, HelpMessageShowsAndAnyDismissalDoesNothing) {
    const BotSettings before = gathered();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_unknown}) {
        QString seen;
        test::answeringModal(
            [&](QWidget& modal) {
                if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                    seen = box->windowTitle() + "|" + box->text();
                    if (box->icon() != QMessageBox::Information || box->buttons().size() != 1)
                        seen += " (not one OK with an information icon)";
                }
                key == Qt::Key_unknown ? void(modal.close()) : QTest::keyClick(&modal, key);
            },
            [&] { action("help2")->trigger(); });
        EXPECT_EQ(seen, "Need help?!|If You need help You shouldn't use this stuff. If you're "
                        "having problems just contact me (e-mail in About)");
    }
    EXPECT_EQ(gathered(), before);
    EXPECT_TRUE(window.isEnabled());
}

// The program has ended when its event loop returns; the guard only stops a loop that never
// would.
class ProgramEndTest : public AboutWindowTest {
protected:
    bool endsAfter(const std::function<void()>& steps) {
        bool stuck = false;
        QTimer::singleShot(30000, &window, [&] {
            stuck = true;
            QApplication::exit(1);
        });
        QTimer::singleShot(0, &window, steps);
        QApplication::exec();
        return !stuck;
    }
};

TEST_F(ProgramEndTest, ExitEndsItAfterAboutWasOpened) {
    EXPECT_TRUE(endsAfter([&] {
        clickOk(openAbout());
        action("exit")->trigger();
    }));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ProgramEndTest, ClosingTheWindowEndsItEvenWhileAboutShows) {
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
