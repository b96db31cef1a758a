// Writing the file from the window: the button, the menu entry, the markers and failures.
#include "main_window_fixture.h"
#include "test_support.h"

#include <QAction>
#include <QMessageBox>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace quorvel {
namespace {

using mainlayout::Page;
using test::MainWindowTest;

class MainWindowWriteTest : public MainWindowTest {
protected:
    QTemporaryDir dir;
    QString target;

    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath("bot.conf");
    }

    // What ConfigWriter itself writes for `settings`.
    QByteArray writerOutput(BotSettings settings) {
        settings.outputFileName = dir.filePath("reference.conf");
        test::RecordingProgress progress;
        ConfigWriter().writeConfig(settings, progress);
        return test::readAll(settings.outputFileName);
    }

    // Presses WRITE OUT and returns the text of the error box it raised, if any.
    QString pressWriteOutAnswering(Qt::Key dismissWith = Qt::Key_Escape) {
        QString shown;
        test::answerNextModal([&](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            shown = box ? box->text() : QString("not a message box");
            if (box && box->icon() != QMessageBox::Critical)
                shown += " (not an error icon)";
            QTest::keyClick(&modal, dismissWith);
        });
        QTest::mouseClick(writeOut(), Qt::LeftButton);
        return shown;
    }
};

TEST_F(MainWindowWriteTest, WhatTheUserEntersIsWhatTheWriterWrites) {
    BotSettings expected;

    showPage(Page::GeneralStuff);
    typeInto(text(1), " Keldo ");
    expected.username = " Keldo ";
    typeInto(text(2), "Keldo <keldo@example.org>");
    expected.admin = "Keldo <keldo@example.org>";
    clickBox(check(1));
    typeInto(text(4), "bot.example.com");
    clickBox(check(1)); // off again: the disabled box is still gathered
    expected.myHostname = "bot.example.com";
    clickBox(check(2));
    typeInto(text(5), "10.0.0.7");
    expected.useMyIp = true;
    expected.myIp = "10.0.0.7";

    showPage(Page::BotInfo);
    typeInto(text(6), "Guard{$x}");
    expected.botName = "Guard{$x}";
    typeInto(text(7), "say \"hi\"");
    expected.whoisInfo = "say \"hi\"";
    typeInto(text(8), "");
    expected.telnetPort = "";
    typeInto(text(9), "/srv/egg");
    expected.eggPath = "/srv/egg";
    typeInto(text(10), "Guard");
    expected.nick = "Guard";
    typeInto(text(16), "Guard_");
    expected.altNick = "Guard_";
    typeInto(text(17), "quorvel");
    expected.channel = "quorvel";

    showPage(Page::ChannelSettings);
    clickBox(check(7));  // autoop on
    clickBox(check(14)); // secret off
    clickBox(check(18)); // wasoptests on
    expected.channelFlags[4] = true;
    expected.channelFlags[11] = false;
    expected.channelFlags[15] = true;

    showPage(Page::Servers);
    typeInto(text(12), "irc.example.com:7000");
    expected.server1 = "irc.example.com:7000";
    clickBox(check(27));
    expected.useServer2 = false;

    showPage(Page::Scripts);
    auto* scripts = child<QPlainTextEdit>("Text14");
    QTest::mouseClick(scripts->viewport(), Qt::LeftButton);
    QTest::keyClick(scripts, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(scripts, "source scripts/mine.tcl");
    QTest::keyClick(scripts, Qt::Key_Return);
    expected.scripts += "source scripts/mine.tcl\r\n";

    showPage(Page::Finish);
    EXPECT_EQ(text(15)->text(), "Guard{$x}");
    typeInto(text(15), target);
    expected.outputFileName = target;
    EXPECT_EQ(markersShown(), test::noneShown);
    QTest::mouseClick(writeOut(), Qt::LeftButton);

    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(window.settings(), expected);
    const QByteArray written = test::readAll(target);
    EXPECT_FALSE(written.isEmpty());
    EXPECT_EQ(written, writerOutput(expected));
}

TEST_F(MainWindowWriteTest, SecondWriteOutReplacesTheFileAndHidesNoMarker) {
    showPage(Page::Finish);
    typeInto(text(15), target);
    QTest::mouseClick(writeOut(), Qt::LeftButton);
    const QByteArray first = test::readAll(target);
    ASSERT_FALSE(first.isEmpty());

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("stale");
    file.close();

    struct HideCounter : QObject {
        int hides = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            hides += event->type() == QEvent::Hide;
            return false;
        }
    } counter;
    for (int n : mainlayout::markerLabels)
        label(n)->installEventFilter(&counter);
    QTest::keyClick(writeOut(), Qt::Key_Space); // the button also reacts to Space
    EXPECT_EQ(counter.hides, 0);
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(test::readAll(target), first);
}

TEST_F(MainWindowWriteTest, WriteMenuSwitchesToFinishAndWrites) {
    text(15)->setText(target);
    ASSERT_EQ(tabs()->currentIndex(), Page::GeneralStuff);
    window.findChild<QAction*>("write")->trigger();
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(test::readAll(target), writerOutput(BotSettings{}));

    showPage(Page::Servers);
    EXPECT_EQ(markersShown(), test::noneShown);
    showPage(Page::Finish);
    EXPECT_EQ(markersShown(), test::noneShown);
}

TEST_F(MainWindowWriteTest, EnterInATextBoxStartsNoWrite) {
    EXPECT_FALSE(writeOut()->isDefault());
    EXPECT_FALSE(writeOut()->autoDefault());
    showPage(Page::Finish);
    typeInto(text(15), target);
    QTest::keyClick(text(15), Qt::Key_Return);
    QTest::keyClick(text(15), Qt::Key_Enter);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(markersShown(), test::noneShown);
}

TEST_F(MainWindowWriteTest, FailedWriteExplainsItselfAndChangesNothing) {
    const QString unreachable = dir.filePath("missing/bot.conf");
    showPage(Page::Finish);
    typeInto(text(15), unreachable);
    const BotSettings before = gathered();

    const QString shown = pressWriteOutAnswering(Qt::Key_Escape);
    EXPECT_TRUE(shown.contains(unreachable)) << shown.toStdString();
    EXPECT_TRUE(shown.contains("No such file or directory")) << shown.toStdString();
    EXPECT_EQ(markersShown(), test::noneShown);
    EXPECT_EQ(gathered(), before);
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_TRUE(window.isEnabled());

    // Still usable: a good name now writes.
    typeInto(text(15), target);
    EXPECT_EQ(pressWriteOutAnswering(), QString());
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_TRUE(QFile::exists(target));
}

TEST_F(MainWindowWriteTest, FileNameWithMarkupIsShownAsTyped) {
    const QString name = dir.filePath("<b>missing</b>/x.conf");
    showPage(Page::Finish);
    typeInto(text(15), name);
    QString format;
    test::answerNextModal([&](QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal))
            format = box->textFormat() == Qt::PlainText ? "plain" : "may be markup";
        QTest::keyClick(&modal, Qt::Key_Return);
    });
    QTest::mouseClick(writeOut(), Qt::LeftButton);
    EXPECT_EQ(format, "plain");
}

// The disk refuses data partway: the stages reported so far must not be left claiming success,
// and neither must the markers of the write before.
TEST_F(MainWindowWriteTest, WriteCutShortLeavesNoMarkerShown) {
    showPage(Page::Finish);
    typeInto(text(15), target);
    QTest::mouseClick(writeOut(), Qt::LeftButton);
    ASSERT_EQ(markersShown(), test::allShown);
    const QByteArray complete = test::readAll(target);

    child<QPlainTextEdit>("Text14")->setPlainText(QString("# filler\n").repeated(20000));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = rlim_t(complete.size()); // past the servers, not through the scripts
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString shown = pressWriteOutAnswering();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(shown.contains("File too large")) << shown.toStdString();
    EXPECT_EQ(markersShown(), test::noneShown);
    EXPECT_EQ(test::readAll(target), complete);
}

} // namespace
} // namespace quorvel
