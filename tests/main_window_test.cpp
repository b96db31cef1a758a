// The main window's layout and its controls' behaviour, short of writing a file.
#include "widget_test_support.h"

#include "ui/caption_metrics.h"

#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>

#include <cstring>

namespace quorvel {
namespace {

using mainlayout::Page;
using test::MainWindowTest;

TEST_F(MainWindowTest, OpensFixedOnGeneralStuffWithTheBuiltInValues) {
    EXPECT_EQ(window.windowTitle(), "Quorvel! 1.1");
    EXPECT_TRUE(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(tabs()->currentIndex(), Page::GeneralStuff);
    EXPECT_EQ(gathered(), BotSettings{});
    EXPECT_FALSE(text(4)->isEnabled() || text(5)->isEnabled());
    EXPECT_TRUE(text(11)->isEnabled() && text(13)->isEnabled());
    EXPECT_EQ(markersShown(), test::noneShown);
    EXPECT_EQ(child<QLabel>("Label2")->toolTip(),
              "Nazwa uzytkownika, NIE NAZWA BOTA. Np. \"Keldo\"");
    EXPECT_TRUE(text(1)->toolTip().isEmpty());
}

// Page controls are placed from the client area's corner: the tab strip must not push them. One
// control of each page, its place in twips written out here rather than taken from the layout.
struct TwipPlace {
    const char* name;
    Page page;
    int left, top, width, height;
};

class ControlPlaceTest : public MainWindowTest, public ::testing::WithParamInterface<TwipPlace> {};

TEST_P(ControlPlaceTest, SitsAtItsTwipPlaceInTheClientArea) {
    const TwipPlace& p = GetParam();
    tabs()->setCurrentIndex(p.page);
    QWidget* w = child(p.name);
    EXPECT_EQ(QRect(w->mapTo(window.centralWidget(), QPoint()), w->size()),
              window.layoutScale().rect(p.left, p.top, p.width, p.height));
}

INSTANTIATE_TEST_SUITE_P(
    , ControlPlaceTest,
    ::testing::Values(TwipPlace{"Label2", Page::GeneralStuff, 960, 1620, 975, 255},
                      TwipPlace{"Check1", Page::GeneralStuff, 2160, 2700, 255, 255},
                      TwipPlace{"Text6", Page::BotInfo, 2160, 1500, 2415, 285},
                      TwipPlace{"Check26", Page::ChannelSettings, 2160, 2820, 1335, 255},
                      TwipPlace{"Text11", Page::Servers, 2280, 2100, 2415, 285},
                      TwipPlace{"Text14", Page::Scripts, 1200, 1080, 3495, 2655},
                      TwipPlace{"Command1", Page::Finish, 1680, 1200, 2655, 525},
                      TwipPlace{"Label24", Page::Finish, 360, 3960, 5295, 255}),
    [](const auto& info) { return info.param.name; });

// The tab strip takes its 520 twips at the window's scale; each page shows the system's
// button face, not the style's lighter pane.
TEST_F(MainWindowTest, TabStripHeightAndPageColourAreTheLayouts) {
    EXPECT_EQ(tabs()->tabBar()->height(), window.layoutScale().px(520));
    const QColor buttonFace = window.palette().color(QPalette::Button);
    for (int page = 0; page < mainlayout::pageCount; ++page) {
        tabs()->setCurrentIndex(page);
        const QImage shot = window.grab().toImage();
        const QPoint corner = tabs()->widget(page)->mapTo(&window, QPoint(2, 2));
        EXPECT_EQ(shot.pixelColor(corner * shot.devicePixelRatio()), buttonFace) << page;
    }
}

// Registered a second time with QT_SCALE_FACTOR=2.
TEST_F(MainWindowTest, NoCaptionIsClipped) {
    for (int page = 0; page < mainlayout::pageCount; ++page) {
        tabs()->setCurrentIndex(page);
        QList<QWidget*> captioned;
        for (QWidget* w : tabs()->widget(page)->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
                captioned << w;
        }
        test::expectCaptionsWhole(window, captioned);
    }
    test::expectCaptionsWhole(window, {tabs()->tabBar()});
}

// The fitting scale measures labels once through shared font metrics instead of asking each
// label; both must agree, or a caption could be clipped. Registered again at twice the scale.
TEST_F(MainWindowTest, NoCaptionIsClippedByTheLabelMeasure) {
    CaptionMetrics captions;
    const QList<QLabel*> labels = window.findChildren<QLabel*>(QRegularExpression("^Label"));
    ASSERT_EQ(labels.size(),
              std::count_if(std::begin(mainlayout::controls), std::end(mainlayout::controls),
                            [](const auto& c) { return c.kind == mainlayout::Kind::Label; }));
    for (const QLabel* label : labels)
        EXPECT_EQ(captions.labelSizeHint(*label), label->sizeHint())
            << label->objectName().toStdString();

    // Margins, tabs, a bold font and every alignment the window uses.
    QLabel odd(QStringLiteral("a\tlonger caption"));
    odd.setMargin(3);
    odd.setContentsMargins(1, 2, 5, 7);
    QFont bold = odd.font();
    bold.setBold(true);
    bold.setPointSizeF(13.5);
    odd.setFont(bold);
    const Qt::Alignment alignments[] = {Qt::AlignLeft | Qt::AlignVCenter,
                                        Qt::AlignLeft | Qt::AlignTop,
                                        Qt::AlignRight | Qt::AlignVCenter, Qt::AlignCenter};
    for (Qt::Alignment alignment : alignments) {
        odd.setAlignment(alignment);
        EXPECT_EQ(captions.labelSizeHint(odd), odd.sizeHint()) << int(alignment);
    }
}

TEST_F(MainWindowTest, MenusHaveNoKeysAndImportIsGreyed) {
    const auto file = window.findChild<QMenu*>("file")->actions();
    ASSERT_EQ(file.size(), 3);
    EXPECT_FALSE(file[0]->isEnabled());
    EXPECT_TRUE(file[1]->isSeparator());
    for (QAction* a : window.findChildren<QAction*>())
        EXPECT_FALSE(a->text().contains('&') || !a->shortcut().isEmpty() || a->isCheckable());
}

TEST_F(MainWindowTest, CheckBoxesSwitchTheirBoxesOnlyWhenCheckedOrUnchecked) {
    const std::tuple<Page, int, int> pairs[] = {{Page::GeneralStuff, 1, 4},
                                                {Page::GeneralStuff, 2, 5},
                                                {Page::Servers, 27, 11},
                                                {Page::Servers, 28, 13}};
    for (auto [page, box, field] : pairs) {
        showPage(page);
        const bool initially = check(box)->isChecked();
        const QString value = text(field)->text();
        clickBox(check(box));
        EXPECT_EQ(text(field)->isEnabled(), !initially) << box;
        clickBox(check(box));
        EXPECT_EQ(text(field)->isEnabled(), initially) << box;
        EXPECT_EQ(text(field)->text(), value);
    }
    // Grayed is set only by the program: it leaves the box as it was and reads as false.
    for (int box : {27, 1, 3})
        check(box)->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(text(11)->isEnabled()); // both left as they were
    EXPECT_FALSE(text(4)->isEnabled());
    const BotSettings record = gathered();
    EXPECT_FALSE(record.useServer2 || record.useMyHostname || record.channelFlags[0]);

    // From grayed, clicks and Space only toggle checked and unchecked.
    std::vector<Qt::CheckState> states;
    for (int i = 0; i < 4; ++i) {
        i % 2 ? QTest::keyClick(check(27), Qt::Key_Space) : clickBox(check(27));
        states.push_back(check(27)->checkState());
    }
    EXPECT_EQ(states, (std::vector{Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
}

TEST_F(MainWindowTest, FileNameFollowsEveryChangeOfTheBotsName) {
    showPage(Page::BotInfo);
    QTest::mouseClick(text(6), Qt::LeftButton);
    QTest::keyClick(text(6), Qt::Key_End);
    QTest::keyClick(text(6), Qt::Key_X);
    EXPECT_EQ(text(15)->text(), "bot's_namex");
    text(15)->setText("edited.conf");
    EXPECT_EQ(text(6)->text(), "bot's_namex"); // never flows back
    text(6)->setText("by the program");
    EXPECT_EQ(text(15)->text(), "by the program");
    typeInto(text(6), "");
    EXPECT_EQ(text(15)->text(), "");
}

// A line break in a single-line value would split a line of the written file. Only the first
// line of what arrives is kept; text copied whole from a file often begins with the end of the
// line before it, and a text that begins like the one it goes into is still only its first line.
enum class Arrives { Pasted, Inserted, Set };

struct Arrival {
    const char* name;
    const char* before;
    int start, length; // the selection, or the cursor where length is 0
    Arrives way;
    const char* arriving;
    const char* after;
};

class SingleLineBoxTest : public MainWindowTest, public ::testing::WithParamInterface<Arrival> {};

TEST_P(SingleLineBoxTest, KeepsTheFirstLineOfWhatArrives) {
    const Arrival& a = GetParam();
    QLineEdit* box = text(1);
    box->setText(QString::fromUtf8(a.before));
    box->setSelection(a.start, a.length);
    const QString arriving = QString::fromUtf8(a.arriving);
    if (a.way == Arrives::Pasted) {
        QGuiApplication::clipboard()->setText(arriving);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    } else if (a.way == Arrives::Inserted) {
        box->insert(arriving);
    } else {
        box->setText(arriving);
    }
    EXPECT_EQ(box->text(), QString::fromUtf8(a.after));
    // The cursor stands after what arrived, before the rest of the earlier text.
    if (a.way != Arrives::Set) {
        const qsizetype rest = qsizetype(std::strlen(a.before)) - a.start - a.length;
        EXPECT_EQ(box->cursorPosition(), box->text().size() - rest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , SingleLineBoxTest,
    ::testing::Values(
        Arrival{"PastedOverASelection", "abcdef", 1, 2, Arrives::Pasted, "X\nsecond line", "aXdef"},
        Arrival{"InsertedBeginningLikeTheText", "aa", 0, 0, Arrives::Inserted, "a\u2029a", "aaa"},
        Arrival{"SetWithCrLf", "", 0, 0, Arrives::Set, "one\r\ntwo", "one"},
        Arrival{"PastedAfterABreak", "aaa", 0, 3, Arrives::Pasted, "\nirc.example.net\n",
                "irc.example.net"},
        Arrival{"InsertedAfterBreaks", "irc.example.net", 3, 0, Arrives::Inserted,
                "\r\n\r\n:6667\nsecond", "irc:6667.example.net"},
        Arrival{"InsertedBreaksAlone", "irc:6667.example.net", 8, 0, Arrives::Inserted, "\n\n",
                "irc:6667.example.net"},
        Arrival{"PastedOverTheTextItBeginsLike", "irc:6667.example.net", 0, 20, Arrives::Pasted,
                "irc:6667\nother.example.net", "irc:6667"},
        Arrival{"SetAfterALineSeparator", "", 0, 0, Arrives::Set, "\u2028\tindented",
                "\tindented"}),
    [](const auto& info) { return info.param.name; });

TEST_F(MainWindowTest, ScriptsBoxWrapsAndGivesCrLf) {
    showPage(Page::Scripts);
    auto* scripts = child<QPlainTextEdit>("Text14");
    scripts->setPlainText(QString("set x ").repeated(40));
    QCoreApplication::processEvents();
    EXPECT_GT(scripts->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_TRUE(scripts->verticalScrollBar()->isVisible());
    // Enter, Shift+Enter's soft break and the keypad's Enter end a line; every other character
    // arrives as it was typed or pasted, the no-break space included.
    scripts->clear();
    QTest::keyClicks(scripts, "a");
    QTest::keyClick(scripts, Qt::Key_Return);
    QTest::keyClicks(scripts, "b\u00a0c");
    QTest::keyClick(scripts, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(scripts, "d");
    QTest::keyClick(scripts, Qt::Key_Enter, Qt::KeypadModifier);
    QGuiApplication::clipboard()->setText("e\u00a0\tf\u200b\u00ad\r\ng\u2028h\u2029");
    QTest::keyClick(scripts, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(gathered().scripts, "a\r\nb\u00a0c\r\nd\r\ne\u00a0\tf\u200b\u00ad\r\ng\r\nh\r\n");

    // Breaks anywhere in the text's groups of four characters, at its ends, or one after another
    // (more than the result's first guess at its size holds), and characters next to the breaks'
    // code points.
    const QString texts[] = {
        "",
        "\n",
        "abc",
        "abcd\nefgh\nij",
        "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n",
        "ab\u2028\u2027\u202a\u2029x\n",
        QString("line\n").repeated(1000) + "end",
    };
    for (const QString& text : texts) {
        scripts->setPlainText(text);
        QString expected = text;
        for (QChar lineEnd :
             {QChar(u'\n'), QChar(QChar::LineSeparator), QChar(QChar::ParagraphSeparator)})
            expected.replace(lineEnd, "\r\n");
        EXPECT_EQ(gathered().scripts, expected) << text.left(20).toStdString();
    }
}

// Every change of page hides the markers, by the keyboard too: on the tab widget (as from a
// control on the page) or on the tab bar.
struct PageKey {
    const char* name;
    bool onTabBar;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

class PageChangeByKeyTest : public MainWindowTest, public ::testing::WithParamInterface<PageKey> {};

TEST_P(PageChangeByKeyTest, HidesTheMarkers) {
    showPage(Page::Servers);
    for (std::size_t k = 0; k < writeStageCount; ++k)
        window.stageWritten(WriteStage(k));
    window.fileWritten();
    ASSERT_EQ(markersShown(), test::allShown);
    const PageKey& p = GetParam();
    QTest::keyClick(p.onTabBar ? static_cast<QWidget*>(tabs()->tabBar()) : tabs(), p.key,
                    p.modifiers);
    EXPECT_NE(tabs()->currentIndex(), Page::Servers);
    EXPECT_EQ(markersShown(), test::noneShown);
}

INSTANTIATE_TEST_SUITE_P(
    , PageChangeByKeyTest,
    ::testing::Values(PageKey{"CtrlTab", false, Qt::Key_Tab, Qt::ControlModifier},
                      PageKey{"CtrlShiftTab", false, Qt::Key_Backtab,
                              Qt::ControlModifier | Qt::ShiftModifier},
                      PageKey{"RightOnTheTabBar", true, Qt::Key_Right, Qt::NoModifier},
                      PageKey{"LeftOnTheTabBar", true, Qt::Key_Left, Qt::NoModifier}),
    [](const auto& info) { return info.param.name; });

// Registered a second time with QT_SCALE_FACTOR=2, where the window is larger than the screen.
TEST_F(MainWindowTest, OpensWithTitleBarAndMenusOnTheScreen) {
    const QRect area = window.screen()->availableGeometry();
    EXPECT_EQ(test::misplacement(window.frameGeometry(), area.center(), area), "");
    EXPECT_TRUE(area.contains(window.menuBar()->mapToGlobal(QPoint(0, 0))));
}

TEST_F(MainWindowTest, TabGoesFromTheTabsThroughEachPageBottomToTop) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto cycle = [&](Page page) {
        tabs()->setCurrentIndex(page);
        tabs()->tabBar()->setFocus();
        QStringList order;
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget() == tabs()->tabBar())
                return order.join(' ');
            order << QApplication::focusWidget()->objectName();
        }
        return order.join(' ') + " and never back to the tabs";
    };
    EXPECT_EQ(cycle(Page::GeneralStuff), "Check2 Check1 Text3 Text2 Text1"); // Text4, 5 disabled
    check(1)->setChecked(true);
    EXPECT_EQ(cycle(Page::GeneralStuff), "Text4 Check2 Check1 Text3 Text2 Text1");
    EXPECT_EQ(cycle(Page::BotInfo), "Text17 Text16 Text10 Text9 Text8 Text7 Text6");
    EXPECT_TRUE(cycle(Page::ChannelSettings).startsWith("Check26 Check25 Check24"));
    EXPECT_TRUE(cycle(Page::ChannelSettings).endsWith("Check5 Check4 Check3"));
    EXPECT_EQ(cycle(Page::Servers), "Text13 Text11 Check28 Check27 Text12");
    EXPECT_EQ(cycle(Page::Scripts), "Text14");
    EXPECT_EQ(cycle(Page::Finish), "Command1 Text15");
}

} // namespace
} // namespace quorvel
