// What a screen reader hears of a write: the accessibility events the main window raises, as Qt
// hands them to the desktop's accessibility bridge. Qt raises them only while a screen reader
// could listen, so run_with_atspi.sh runs this on X11 with an accessibility bus of its own.
#include "ui/accessibility.h"
#include "widget_test_support.h"

#include <QAccessible>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

namespace quorvel {
namespace {

using mainlayout::Page;

constexpr int bridgeTimeout = 10000; // ms for Qt's bridge to find the accessibility bus

// One event as the bridge would get it.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    QAccessible::Role role;
    QString text; // what the object says: name, value, description
};

std::vector<Heard>* heard = nullptr;

void record(QAccessibleEvent* event) {
    // The object of that event is being destroyed: asking for its interface would make a new
    // one for what is left of it.
    if (!heard || event->type() == QAccessible::ObjectDestroyed)
        return;
    QAccessibleInterface* a = event->accessibleInterface();
    if (!a)
        return;
    heard->push_back({event->type(), event->object(), a->role(),
                      a->text(QAccessible::Name) + "|" + a->text(QAccessible::Value) + "|" +
                          a->text(QAccessible::Description)});
}

class AccessibilityEventsTest : public test::MainWindowTest {
protected:
    QTemporaryDir dir;
    std::vector<Heard> events;
    QAccessible::UpdateHandler previous = nullptr;

    void SetUp() override {
        ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, bridgeTimeout))
            << "Qt raises no accessibility events here: run under run_with_atspi.sh";
        MainWindowTest::SetUp();
        heard = &events;
        previous = QAccessible::installUpdateHandler(record);
    }
    void TearDown() override {
        QAccessible::installUpdateHandler(previous);
        heard = nullptr;
    }

    QLabel* banner() { return child<QLabel>("Label24"); }

    // How often the banner was told: shown, or its news repeated while it showed.
    long bannerTold() const {
        return std::count_if(events.begin(), events.end(), [](const Heard& h) {
            return h.role == QAccessible::Notification &&
                   (h.type == QAccessible::ObjectShow || h.type == repeatedNotificationEvent());
        });
    }
    std::vector<Heard> alerts() const {
        std::vector<Heard> found;
        std::copy_if(events.begin(), events.end(), std::back_inserter(found), [](const Heard& h) {
            return h.role == QAccessible::AlertMessage && h.type == QAccessible::ObjectShow;
        });
        return found;
    }

    // Clicks WRITE OUT; a message box it raises is closed.
    void clickWriteOut() {
        events.clear();
        test::answeringModal([](QWidget& modal) { QTest::keyClick(&modal, Qt::Key_Escape); },
                             [&] { QTest::mouseClick(writeOut(), Qt::LeftButton); });
    }
};

TEST_F(AccessibilityEventsTest, EveryWriteTellsItsOutcomeOnce) {
    showPage(Page::Finish);
    typeInto(text(15), dir.filePath("bot.conf"));

    // A success: the banner appears as a notification, which a screen reader speaks; the
    // markers appear as they always did.
    clickWriteOut();
    EXPECT_EQ(bannerTold(), 1);
    const auto told = std::find_if(events.begin(), events.end(), [](const Heard& h) {
        return h.role == QAccessible::Notification;
    });
    ASSERT_NE(told, events.end());
    EXPECT_EQ(told->object, banner());
    EXPECT_TRUE(told->text.startsWith("[ WRITTEN SUCCESFULLY ]|")) << told->text.toStdString();
    EXPECT_TRUE(alerts().empty());

    // The next success finds the banner showing already: it is told again, once.
    clickWriteOut();
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(bannerTold(), 1);

    // A failure: no success is told, and the message box that names the file is an alert.
    const QString unreachable = dir.filePath("missing/bot.conf");
    typeInto(text(15), unreachable);
    clickWriteOut();
    EXPECT_EQ(markersShown(), test::noneShown);
    EXPECT_EQ(bannerTold(), 0);
    const auto failure = alerts();
    ASSERT_EQ(failure.size(), 1u);
    EXPECT_TRUE(failure[0].text.contains(unreachable)) << failure[0].text.toStdString();

    // After the failure the banner appears anew: told once, not twice.
    typeInto(text(15), dir.filePath("bot.conf"));
    clickWriteOut();
    EXPECT_EQ(bannerTold(), 1);
    EXPECT_TRUE(alerts().empty());
}

// The write menu switches to "Finish" first, which hides the banner; it is then told once.
TEST_F(AccessibilityEventsTest, TheWriteMenuTellsTheOutcomeOnce) {
    showPage(Page::Finish);
    typeInto(text(15), dir.filePath("bot.conf"));
    clickWriteOut();
    showPage(Page::GeneralStuff);
    events.clear();
    action("write")->trigger();
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(bannerTold(), 1);
}

// Opened from the active main window, About is all a screen reader hears of: a control that
// loses the keyboard focus while its window is active is reported as focused, and one that gets
// it back from the closing Help menu just before About comes would be read after About (Orca
// handles a change of window first). Closing About gives the focus back to that control.
enum class AboutFrom { Action, MenuKey };

// The menu of `entry`, opened from the menu bar with `entry` chosen.
QMenu* openMenuAt(QAction* entry) {
    auto* menu = qobject_cast<QMenu*>(entry->parent());
    qobject_cast<QMenuBar*>(menu->parent())->setActiveAction(menu->menuAction());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(entry);
    return menu;
}

class OpeningAboutTest : public AccessibilityEventsTest,
                         public testing::WithParamInterface<AboutFrom> {};

TEST_P(OpeningAboutTest, TellsOfNothingInTheMainWindow) {
    showPage(Page::Finish);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    writeOut()->setFocus();
    QAction* about = action("about");
    QMenu* help = GetParam() == AboutFrom::Action ? nullptr : openMenuAt(about);
    events.clear();
    if (GetParam() == AboutFrom::Action)
        about->trigger();
    else
        QTest::keyClick(help, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isEnabled(); }, bridgeTimeout));
    int aboutFocused = 0;
    for (const Heard& h : events) {
        if (h.type != QAccessible::Focus)
            continue;
        const auto* focused = qobject_cast<QWidget*>(h.object);
        ASSERT_NE(focused, nullptr);
        // The window itself may have it, which is not read: none of its controls.
        EXPECT_TRUE(focused == &window || focused->window() != &window)
            << focused->objectName().toStdString();
        aboutFocused += focused->window()->objectName() == "Form2";
    }
    EXPECT_GT(aboutFocused, 0);

    AboutWindow* shown = shownAbout();
    ASSERT_NE(shown, nullptr);
    clickOk(shown);
    EXPECT_TRUE(QTest::qWaitFor([&] { return writeOut()->hasFocus(); }, bridgeTimeout));
}

INSTANTIATE_TEST_SUITE_P(From, OpeningAboutTest,
                         testing::Values(AboutFrom::Action, AboutFrom::MenuKey),
                         [](const testing::TestParamInfo<AboutFrom>& info) {
                             return info.param == AboutFrom::Action ? "Action" : "MenuKey";
                         });

// "Need Help?" chosen from the menu: once its box is closed, the control has the focus again.
TEST_F(AccessibilityEventsTest, HelpFromTheMenuGivesTheFocusBack) {
    showPage(Page::Finish);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    writeOut()->setFocus();
    QMenu* help = openMenuAt(action("help2"));
    test::answeringModal([](QWidget& modal) { QTest::keyClick(&modal, Qt::Key_Escape); },
                         [&] { QTest::keyClick(help, Qt::Key_Return); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return writeOut()->hasFocus(); }, bridgeTimeout));
}

} // namespace
} // namespace quorvel
