// Writing the file from the window: the button, the menu entry, the markers and failures.
#include "system_support.h"
#include "test_support.h"
#include "widget_test_support.h"

#include <QClipboard>
#include <QMessageBox>
#include <QTemporaryDir>

namespace quorvel {
namespace {

using mainlayout::Page;

class MainWindowWriteTest : public test::MainWindowTest {
protected:
    QTemporaryDir dir;
    QString target = dir.filePath("bot.conf");

    QByteArray writerOutput(BotSettings settings) {
        settings.outputFileName = dir.filePath("reference.conf");
        test::RecordingProgress progress;
        ConfigWriter().writeConfig(settings, progress);
        return test::readAll(settings.outputFileName);
    }

    // Clicks WRITE OUT; returns the text of the error box it raised, if any, and closes it.
    QString clickWriteOut() {
        QString shown;
        test::answeringModal(
            [&](QWidget& modal) {
                auto* box = qobject_cast<QMessageBox*>(&modal);
                const bool plainError = box && box->icon() == QMessageBox::Critical &&
                                        box->textFormat() == Qt::PlainText;
                shown = plainError ? box->text() : "not a plain-text error box";
                QTest::keyClick(&modal, Qt::Key_Escape);
            },
            [&] { QTest::mouseClick(writeOut(), Qt::LeftButton); });
        return shown;
    }
};

TEST_F(MainWindowWriteTest, WhatTheUserEntersIsWhatTheWriterWrites) {
    BotSettings expected;
    typeInto(text(1), expected.username = " Keldo ");
    clickBox(check(1));
    typeInto(text(4), expected.myHostname = "bot.example.com");
    clickBox(check(1)); // off again: the disabled box is still gathered
    showPage(Page::BotInfo);
    typeInto(text(6), expected.botName = "Guard{$x}");
    typeInto(text(7), expected.whoisInfo = "say \"hi\"");
    typeInto(text(8), expected.telnetPort = "");
    typeInto(text(16), expected.altNick = "Guard_");
    typeInto(text(17), expected.channel = "quorvel");
    showPage(Page::ChannelSettings);
    clickBox(check(7));  // autoop on
    clickBox(check(14)); // secret off
    expected.channelFlags[4] = true;
    expected.channelFlags[11] = false;
    showPage(Page::Servers);
    typeInto(text(12), expected.server1 = "irc.example.com:7000");
    clickBox(check(27));
    expected.useServer2 = false;
    showPage(Page::Scripts);
    auto* scripts = child<QPlainTextEdit>("Text14");
    QTest::keyClick(scripts, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(scripts, "source scripts/mine.tcl");
    QTest::keyClick(scripts, Qt::Key_Return);
    expected.scripts += "source scripts/mine.tcl\r\n";
    showPage(Page::Finish);
    EXPECT_EQ(text(15)->text(), "Guard{$x}");
    typeInto(text(15), expected.outputFileName = target);

    EXPECT_EQ(clickWriteOut(), "");
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_EQ(window.settings(), expected);
    EXPECT_EQ(test::readAll(target), writerOutput(expected));
}

TEST_F(MainWindowWriteTest, OnlyTheButtonAndTheMenuEntryWrite) {
    showPage(Page::Finish);
    typeInto(text(15), target);
    QTest::keyClick(text(15), Qt::Key_Return); // not a default button
    QTest::keyClick(text(15), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(QFile::exists(target));

    // With the focus on the button, Space, Return and the keypad's Enter press it; each write
    // replaces the file, the markers of the one before still shown.
    writeOut()->setFocus();
    for (auto [key, modifier] :
         {std::pair{Qt::Key_Space, Qt::NoModifier}, std::pair{Qt::Key_Return, Qt::NoModifier},
          std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        QFile stale(target);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && stale.write("stale") == 5);
        stale.close();
        QTest::keyClick(writeOut(), key, modifier);
        EXPECT_EQ(markersShown(), test::allShown) << key;
        EXPECT_EQ(test::readAll(target), writerOutput(BotSettings{})) << key;
    }
    ASSERT_TRUE(QFile::remove(target));

    showPage(Page::GeneralStuff);
    action("write")->trigger();
    EXPECT_EQ(tabs()->currentIndex(), Page::Finish);
    EXPECT_EQ(markersShown(), test::allShown);
    EXPECT_TRUE(QFile::exists(target));
    showPage(Page::Servers);
    showPage(Page::Finish);
    EXPECT_EQ(markersShown(), test::noneShown);
}

// A failed write names the file and the reason, or says that no name was given; a pipe is not a
// file. As there was no earlier file, no message may speak of one. Nothing changes.
TEST_F(MainWindowWriteTest, FailedWriteSaysWhatWasReallyWrongAndChangesNothing) {
    const QString unreachable = dir.filePath("<b>missing</b>/bot.conf"); // not markup
    const QString pipe = test::notAFile(dir);
    const std::pair<QString, QStringList> cases[] = {
        {unreachable,
         {QDir::toNativeSeparators(unreachable), test::systemReason(test::markupFolderError)}},
        {"", {"No file name was given"}},
        {pipe, {QDir::toNativeSeparators(pipe), "not a regular file"}},
    };
    showPage(Page::Finish);
    for (const auto& [name, said] : cases) {
        typeInto(text(15), name);
        const BotSettings before = gathered();
        const QString shown = clickWriteOut();
        for (const QString& words : said)
            EXPECT_TRUE(shown.contains(words)) << shown.toStdString();
        EXPECT_FALSE(shown.contains("unchanged") || (name.isEmpty() && shown.contains("File:")))
            << shown.toStdString();
        EXPECT_EQ(markersShown(), test::noneShown);
        EXPECT_EQ(gathered(), before);
        EXPECT_TRUE(window.isEnabled());
    }
    EXPECT_FALSE(QFileInfo(pipe).isFile());

    typeInto(text(15), target); // still usable
    EXPECT_EQ(clickWriteOut(), "");
    EXPECT_EQ(markersShown(), test::allShown);
}

// The disk refuses data partway through the scripts: neither the stages reported so far nor the
// markers of the write before may go on claiming success.
TEST_F(MainWindowWriteTest, WriteCutShortLeavesNoMarkerShown) {
    showPage(Page::Finish);
    typeInto(text(15), target);
    clickWriteOut();
    ASSERT_EQ(markersShown(), test::allShown);
    const QByteArray complete = test::readAll(target);

    child<QPlainTextEdit>("Text14")->setPlainText(QString("# filler\n").repeated(20000));
    QString shown;
    {
        const test::FileSizeLimit limit(complete.size());
        shown = clickWriteOut();
    }
    EXPECT_TRUE(shown.contains(test::systemReason(EFBIG))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("unchanged")) << shown.toStdString();
    EXPECT_EQ(markersShown(), test::noneShown);
    EXPECT_EQ(test::readAll(target), complete);
}

// Qt's line edits hold 32767 characters unless told otherwise. Pasted, as nobody types that much.
TEST_F(MainWindowWriteTest, LongValuesReachTheFileWhole) {
    const QString longValue = QString("0123456789").repeated(10'000);
    QGuiApplication::clipboard()->setText(longValue);
    for (auto [n, page] : {std::pair{1, Page::GeneralStuff}, std::pair{3, Page::GeneralStuff},
                           std::pair{7, Page::BotInfo}, std::pair{15, Page::Finish}}) {
        tabs()->setCurrentIndex(page);
        text(n)->selectAll();
        QTest::keyClick(text(n), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(text(n)->text().size(), longValue.size()) << n;
    }
    EXPECT_EQ(gathered().outputFileName, longValue);
    typeInto(text(15), target);
    EXPECT_EQ(clickWriteOut(), "");
    const auto lines = test::crlfLines(test::readAll(target));
    for (const char* name : {"username", "network", "whois-fields"}) {
        const QByteArray line = QByteArray("set ") + name + " \"" + longValue.toLatin1() + '"';
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << name;
    }
}

} // namespace
} // namespace quorvel
