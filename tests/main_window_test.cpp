// The main window's layout and the behaviour of its controls, short of writing a file.
#include "main_window_fixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace quorvel {
namespace {

using mainlayout::Page;
using test::MainWindowTest;

TEST_F(MainWindowTest, OpensOnGeneralStuffWithTheBuiltInValues) {
    EXPECT_EQ(window.objectName(), "Form1");
    EXPECT_EQ(window.windowTitle(), "Quorvel! 1.1");
    EXPECT_TRUE(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(tabs()->currentIndex(), Page::GeneralStuff);
    for (int i = 0; i < mainlayout::pageCount; ++i)
        EXPECT_EQ(tabs()->tabText(i), mainlayout::pageCaptions[i]);

    EXPECT_EQ(gathered(), BotSettings{});
    EXPECT_FALSE(text(4)->isEnabled());
    EXPECT_FALSE(text(5)->isEnabled());
    EXPECT_EQ(text(4)->text(), BotSettings{}.myHostname);
    EXPECT_TRUE(text(11)->isEnabled());
    EXPECT_TRUE(text(13)->isEnabled());
    EXPECT_EQ(markersShown(), test::noneShown);

    const auto boxes = window.findChildren<QCheckBox*>();
    EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(), [](auto* b) { return b->isChecked(); }),
              17 + 2); // channel flags, then server-2 and server-3
}

TEST_F(MainWindowTest, OnlyTheTwoLabelsHaveTheirPolishTooltips) {
    EXPECT_EQ(label(2)->toolTip(), "Nazwa uzytkownika, NIE NAZWA BOTA. Np. \"Keldo\"");
    EXPECT_TRUE(label(3)->toolTip().startsWith("Informacje o administratorze bota. Np. \""));
    EXPECT_TRUE(label(3)->toolTip().contains(" <email: "));
    const auto all = window.findChildren<QWidget*>();
    EXPECT_EQ(
        std::count_if(all.begin(), all.end(), [](auto* w) { return !w->toolTip().isEmpty(); }), 2);
}

TEST_F(MainWindowTest, WindowHasAFixedSizeAndNoMaximizeButton) {
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.size(), window.minimumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
}

// Every control sits where the table puts it, counted from the client area's corner: the tab
// strip's height must not push the pages' controls down.
TEST_F(MainWindowTest, ControlsSitAtTheirTwipPlacesInTheClientArea) {
    const TwipScale& scale = window.layoutScale();
    EXPECT_EQ(window.centralWidget()->size(),
              QSize(scale.px(mainlayout::clientWidth), scale.px(mainlayout::clientHeight)));
    for (const auto& c : mainlayout::controls) {
        tabs()->setCurrentIndex(c.page);
        const QString prefix = c.kind == mainlayout::Kind::Label        ? "Label"
                               : c.kind == mainlayout::Kind::CheckBox   ? "Check"
                               : c.kind == mainlayout::Kind::PushButton ? "Command"
                                                                        : "Text";
        auto* widget = child<QWidget>(prefix + QString::number(c.number));
        const QRect inClient(widget->mapTo(window.centralWidget(), QPoint()), widget->size());
        EXPECT_EQ(inClient, scale.rect(c.left, c.top, c.width, c.height))
            << widget->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, ChannelBoxesFormTheGridNotTheFlagOrder) {
    // Row by row, left to right, as the page shows them.
    const QStringList grid{"autoop",      "secret",         "enforcebans",    "protectops",
                           "stopnethack", "dynamicbans",    "greet",          "cycle",
                           "userbans",    "revenge",        "wasoptests",     "clearbans",
                           "statuslog",   "protectfriends", "dynamicexempts", "autovoice",
                           "inactive",    "dynamicinvites", "bitch",          "seen",
                           "userexempts", "dontkickops",    "shared",         "userinvites"};
    showPage(Page::ChannelSettings);
    std::vector<QCheckBox*> boxes;
    for (std::size_t k = 0; k < channelFlagCount; ++k) {
        QCheckBox* box = check(int(k) + 3);
        EXPECT_EQ(box->text(), channelFlagTable[k].name);
        EXPECT_EQ(box->isChecked(), channelFlagTable[k].defaultValue) << channelFlagTable[k].name;
        boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end(), [](QCheckBox* a, QCheckBox* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    QStringList shown;
    for (QCheckBox* box : boxes)
        shown << box->text();
    EXPECT_EQ(shown, grid);
}

// Registered a second time with QT_SCALE_FACTOR=2.
TEST_F(MainWindowTest, NoCaptionIsClipped) {
    test::expectRequestedScale(window);
    for (int page = 0; page < mainlayout::pageCount; ++page) {
        tabs()->setCurrentIndex(page);
        for (auto* widget : tabs()->widget(page)->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)) {
                test::expectWhole(*widget);
            } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
                EXPECT_LE(box->sizeHint().height(), box->height())
                    << box->objectName().toStdString();
            }
        }
    }
    QTabBar* bar = tabs()->tabBar();
    test::expectWhole(*bar);
    EXPECT_LE(bar->geometry().bottom(), window.layoutScale().px(mainlayout::tabStripHeight));
}

TEST_F(MainWindowTest, MenusHaveTheirEntriesWithoutKeysOrMarks) {
    QStringList titles;
    for (QAction* action : window.menuBar()->actions())
        titles << action->menu()->objectName() + "=" + action->text();
    EXPECT_EQ(titles,
              QStringList({"file=File", "templates=Templates", "create=Create", "help=Help"}));

    const auto file = window.findChild<QMenu*>("file")->actions();
    ASSERT_EQ(file.size(), 3);
    EXPECT_EQ(file[0]->objectName(), "import");
    EXPECT_EQ(file[0]->text(), "Import Bot Configuration");
    EXPECT_FALSE(file[0]->isEnabled());
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[1]->objectName(), "s");
    EXPECT_EQ(file[2]->objectName(), "exit");
    EXPECT_EQ(file[2]->text(), "Exit");

    for (QAction* action : window.findChildren<QAction*>()) {
        EXPECT_FALSE(action->text().contains('&')) << action->text().toStdString();
        EXPECT_TRUE(action->shortcut().isEmpty());
        EXPECT_FALSE(action->isCheckable());
    }
}

TEST_F(MainWindowTest, TemplateEntriesChangeNothing) {
    QTemporaryDir dir;
    showPage(Page::Finish);
    text(15)->setText(dir.filePath("bot.conf"));
    writeOut()->click(); // all markers shown, so that hiding them would show
    const BotSettings before = gathered();
    window.findChild<QAction*>("load")->trigger();
    window.findChild<QAction*>("save")->trigger();
    EXPECT_EQ(gathered(), before);
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(MainWindowTest, CheckBoxesSwitchTheirBoxesAndKeepTheText) {
    struct Pair {
        Page page;
        int box;
        int field;
    };
    for (auto [page, box, field] : {Pair{Page::GeneralStuff, 1, 4}, Pair{Page::GeneralStuff, 2, 5},
                                    Pair{Page::Servers, 27, 11}, Pair{Page::Servers, 28, 13}}) {
        SCOPED_TRACE(box);
        showPage(page);
        const bool initially = check(box)->isChecked();
        const QString value = text(field)->text();
        EXPECT_EQ(text(field)->isEnabled(), initially);
        clickBox(check(box));
        EXPECT_EQ(text(field)->isEnabled(), !initially);
        clickBox(check(box));
        EXPECT_EQ(text(field)->isEnabled(), initially);
        EXPECT_EQ(text(field)->text(), value);
    }
}

TEST_F(MainWindowTest, GrayedIsTheProgramsAndReadsAsFalse) {
    showPage(Page::Servers);
    check(27)->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(text(11)->isEnabled()); // left as it was
    check(1)->setCheckState(Qt::PartiallyChecked);
    EXPECT_FALSE(text(4)->isEnabled());
    check(3)->setCheckState(Qt::PartiallyChecked);
    BotSettings record = gathered();
    EXPECT_FALSE(record.useServer2);
    EXPECT_FALSE(record.useMyHostname);
    EXPECT_FALSE(record.channelFlags[0]);

    // From grayed the user's clicks and Space only toggle checked and unchecked.
    std::vector<Qt::CheckState> states;
    for (int i = 0; i < 4; ++i) {
        if (i % 2)
            QTest::keyClick(check(27), Qt::Key_Space);
        else
            clickBox(check(27));
        states.push_back(check(27)->checkState());
    }
    EXPECT_EQ(states, (std::vector{Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    EXPECT_FALSE(text(11)->isEnabled());
}

TEST_F(MainWindowTest, FileNameFollowsTheBotsName) {
    showPage(Page::BotInfo);
    QTest::mouseClick(text(6), Qt::LeftButton);
    QTest::keyClick(text(6), Qt::Key_End);
    QTest::keyClick(text(6), Qt::Key_X);
    EXPECT_EQ(text(15)->text(), "bot's_namex");

    showPage(Page::Finish);
    typeInto(text(15), "mine.conf");
    EXPECT_EQ(text(6)->text(), "bot's_namex"); // never flows back

    showPage(Page::BotInfo);
    QTest::keyClick(text(6), Qt::Key_Backspace);
    EXPECT_EQ(text(15)->text(), "bot's_name"); // the edit is replaced whole
    text(6)->setText("set by the program");
    EXPECT_EQ(text(15)->text(), "set by the program");
    typeInto(text(6), QString());
    EXPECT_EQ(text(15)->text(), QString());
}

// A line break in a single-line value would split a line of the written file.
TEST_F(MainWindowTest, SingleLineBoxesKeepTheFirstLineOfWhatArrives) {
    QLineEdit* box = text(1);
    QTest::mouseClick(box, Qt::LeftButton);
    box->setText("abcdef");

    box->setSelection(1, 2); // "bc"
    QGuiApplication::clipboard()->setText("X\nsecond line");
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), "aXdef");
    EXPECT_EQ(box->cursorPosition(), 2);

    QGuiApplication::clipboard()->setText("\r\nonly later lines");
    box->setSelection(0, 1);
    box->paste();
    EXPECT_EQ(box->text(), "Xdef"); // the selection is replaced by an empty first line

    box->setText("aa");
    box->setCursorPosition(0);
    box->insert("a\u2029a"); // begins like the text it goes into
    EXPECT_EQ(box->text(), "aaa");

    box->setText("one\r\ntwo");
    EXPECT_EQ(box->text(), "one");
    EXPECT_EQ(text(15)->text(), "bot's_name");
    text(6)->setText("bot\nname");
    EXPECT_EQ(text(15)->text(), "bot");

    for (QLineEdit* line : window.findChildren<QLineEdit*>())
        EXPECT_FALSE(line->text().contains('\n') || line->text().contains('\r'));
}

TEST_F(MainWindowTest, ScriptsBoxWrapsScrollsAndGivesCrLf) {
    showPage(Page::Scripts);
    auto* scripts = child<QPlainTextEdit>("Text14");
    EXPECT_TRUE(scripts->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scripts->horizontalScrollBar()->isVisible());

    scripts->setPlainText(QString("set x ").repeated(40));
    QCoreApplication::processEvents();
    EXPECT_GT(scripts->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_FALSE(scripts->horizontalScrollBar()->isVisible());

    scripts->clear();
    QTest::keyClicks(scripts, "a");
    QTest::keyClick(scripts, Qt::Key_Return);
    QTest::keyClicks(scripts, "b");
    EXPECT_EQ(gathered().scripts, "a\r\nb");
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(scripts, Qt::Key_Return);
    EXPECT_GT(scripts->verticalScrollBar()->maximum(), 0);
}

TEST_F(MainWindowTest, TabGoesFromTheTabsThroughEachPageBottomToTop) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto focusCycle = [&](Page page) {
        tabs()->setCurrentIndex(page);
        tabs()->tabBar()->setFocus();
        QStringList order;
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus == tabs()->tabBar())
                return order;
            order << (focus ? focus->objectName() : QString("nothing"));
        }
        return order << "no way back to the tabs";
    };
    EXPECT_EQ(focusCycle(Page::GeneralStuff),
              QStringList({"Check2", "Check1", "Text3", "Text2", "Text1"}));
    check(1)->setChecked(true);
    EXPECT_EQ(focusCycle(Page::GeneralStuff),
              QStringList({"Text4", "Check2", "Check1", "Text3", "Text2", "Text1"}));
    EXPECT_EQ(focusCycle(Page::BotInfo),
              QStringList({"Text17", "Text16", "Text10", "Text9", "Text8", "Text7", "Text6"}));
    QStringList flags;
    for (int n = 26; n >= 3; --n)
        flags << QString("Check%1").arg(n);
    EXPECT_EQ(focusCycle(Page::ChannelSettings), flags);
    EXPECT_EQ(focusCycle(Page::Servers),
              QStringList({"Text13", "Text11", "Check28", "Check27", "Text12"}));
    EXPECT_EQ(focusCycle(Page::Scripts), QStringList({"Text14"}));
    EXPECT_EQ(focusCycle(Page::Finish), QStringList({"Command1", "Text15"}));
}

TEST_F(MainWindowTest, ScreenReadersHearEachInputsLabel) {
    const auto spoken = [&](const char* name) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child<QWidget>(name));
        return a ? a->text(QAccessible::Name) : QString("no interface");
    };
    const std::pair<const char*, const char*> expected[] = {
        {"Text1", "username"},     {"Text2", "admin"},
        {"Text3", "network"},      {"Check1", "my-hostname"},
        {"Text4", "my-hostname"},  {"Check2", "my-ip"},
        {"Text5", "my-ip"},        {"Text6", "bot's name"},
        {"Text7", "whois-info"},   {"Text8", "telnet port"},
        {"Text9", "egg path"},     {"Text10", "bot's nicks"},
        {"Text16", "bot's nicks"}, {"Text17", "channel to use"},
        {"Check7", "autoop"},      {"Text12", "server-1"},
        {"Check27", "server-2"},   {"Text11", "server-2"},
        {"Check28", "server-3"},   {"Text13", "server-3"},
        {"Text14", "scripts"},     {"Text15", "output file name"},
        {"Command1", "WRITE OUT"},
    };
    for (auto [name, announced] : expected)
        EXPECT_EQ(spoken(name), announced) << name;
}

} // namespace
} // namespace quorvel
