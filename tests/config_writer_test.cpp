#include "config/config_writer.h"
#include "file_shape.h"
#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using test::crlfLines;
using test::RecordingProgress;

class ConfigWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    BotSettings settings;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.outputFileName = dir.filePath("bot.conf");
    }

    QByteArray write() {
        RecordingProgress progress;
        ConfigWriter().writeConfig(settings, progress);
        EXPECT_EQ(progress.events, test::completeWrite);
        return test::readAll(settings.outputFileName);
    }

    std::vector<QByteArray> writeLines() { return crlfLines(write()); }

    // Lines from the one that equals `first`, `count` of them.
    static std::vector<QByteArray> block(const std::vector<QByteArray>& lines,
                                         const QByteArray& first, std::size_t count) {
        auto it = std::find(lines.begin(), lines.end(), first);
        if (lines.end() - it < std::ptrdiff_t(count))
            return {};
        return {it, it + std::ptrdiff_t(count)};
    }
};

TEST_F(ConfigWriterTest, DefaultSettingsGiveTheExpectedFile) {
    const QByteArray bytes = write();
    EXPECT_EQ(bytes, test::testData("default.cfg"));
    // The defaults choose servers 2 and 3; their scripts text ends in a break, after which the
    // writer's own break leaves an empty last line.
    EXPECT_EQ(bytes.count("\r\n"), fileshape::lineCount(settings));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << "no bare LF";
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n")) << "no bare CR";
    EXPECT_TRUE(bytes.endsWith("loadhelp userinfo.help\r\n\r\n"));
}

TEST_F(ConfigWriterTest, OptionalHostnameAndIpLinesFollowTheNetworkLine) {
    settings.useMyHostname = settings.useMyIp = true;
    EXPECT_EQ(write(), test::testData("both_optional.cfg"));
    settings.myHostname = " host \"x\" ";
    for (bool hostname : {false, true}) { // each alone
        settings.useMyHostname = hostname;
        settings.useMyIp = !hostname;
        const auto lines = writeLines();
        EXPECT_EQ(block(lines, "set network \"irc.example.net\"", 3),
                  (std::vector<QByteArray>{"set network \"irc.example.net\"",
                                           hostname ? "set my-hostname \" host \"x\" \""
                                                    : "set my-ip \"127.0.0.1\"",
                                           "addlang \"english\""}));
        EXPECT_EQ(qsizetype(lines.size()), fileshape::lineCount(settings));
    }
}

TEST_F(ConfigWriterTest, ChannelBlockKeepsAllNamesAndOnlyTheSignFollowsTheFlag) {
    for (bool value : {true, false}) {
        settings.channelFlags.fill(value);
        const auto lines = block(writeLines(), "set global-chanset {", 26);
        ASSERT_EQ(lines.size(), 26u);
        EXPECT_EQ(lines.back(), "}");
        for (std::size_t k = 0; k < channelFlagCount; ++k) {
            EXPECT_EQ(lines[k + 1],
                      QByteArray(value ? "     +" : "     -") + channelFlagTable[k].name);
        }
    }
    settings.channelFlags = {};
    settings.channelFlags[15] = true;
    const auto lines = block(writeLines(), "set global-chanset {", 26);
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[16], "     +wasoptests");
    EXPECT_EQ(lines[17], "     -dynamicinvites");
}

TEST_F(ConfigWriterTest, ServerListHoldsOnlyTheChosenServers) {
    struct Case {
        bool use2, use3;
        std::vector<QByteArray> entries;
    };
    const Case cases[] = {
        {true, true, {"  one:6663", "  two", "  three"}},
        {false, true, {"  one:6663", "  three"}},
        {true, false, {"  one:6663", "  two"}},
        {false, false, {"  one:6663"}},
    };
    settings.server1 = "one:6663";
    settings.server2 = "two";
    settings.server3 = "three";
    for (const Case& c : cases) {
        settings.useServer2 = c.use2;
        settings.useServer3 = c.use3;
        const auto lines = writeLines();
        auto expected = c.entries;
        expected.insert(expected.begin(), "set servers {");
        expected.push_back("}");
        EXPECT_EQ(block(lines, "set servers {", expected.size()), expected) << c.use2 << c.use3;
        EXPECT_EQ(qsizetype(lines.size()), fileshape::lineCount(settings));
    }
}

// Each value goes into its lines exactly as held: empty, with quotes, braces, dollars,
// backslashes and brackets, outside ASCII, or nothing like what the line expects.
struct HeldValue {
    const char* name;
    void (*set)(BotSettings&);
    std::vector<QByteArray> lines;
};

class HeldValueTest : public ConfigWriterTest, public ::testing::WithParamInterface<HeldValue> {};

TEST_P(HeldValueTest, IsWrittenExactlyAsHeld) {
    GetParam().set(settings);
    const auto lines = writeLines();
    for (const QByteArray& line : GetParam().lines)
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    , HeldValueTest,
    ::testing::Values(
        HeldValue{"EmptyUsername",
                  [](BotSettings& s) { s.username = QString(); },
                  {"set username \"\"", "set owner \"\""}},
        HeldValue{"AdminWithTclCharacters",
                  [](BotSettings& s) { s.admin = "  a \"b\" {c} $d \\e [f]  "; },
                  {"set admin \"  a \"b\" {c} $d \\e [f]  \""}},
        HeldValue{"NetworkOutsideAscii",
                  [](BotSettings& s) { s.network = QString::fromUtf8("Zażółć.net"); },
                  // In the system's 8-bit encoding: UTF-8 here, code page 1252 on Windows.
                  {"set network \"" + QString::fromUtf8("Zażółć.net").toLocal8Bit() + "\""}},
        HeldValue{"ChannelWithItsOwnHash",
                  [](BotSettings& s) { s.channel = "#chan"; },
                  {"logfile mco * \"#chan.prv\"", "logfile jk ##chan \"#chan.act\""}},
        HeldValue{"EmptyChannel",
                  [](BotSettings& s) { s.channel = QString(); },
                  {"logfile jk # \".act\""}},
        HeldValue{"EggPathWithSlash",
                  [](BotSettings& s) { s.eggPath = "/opt/egg/"; },
                  {"#! /opt/egg/", "set help-path \"/opt/egg//help/\"",
                   "set mod-path \"/opt/egg//modules/\""}},
        HeldValue{"TelnetPortNotANumber",
                  [](BotSettings& s) { s.telnetPort = "not a port"; },
                  {"listen not a port all"}},
        HeldValue{"EmptyBotName",
                  [](BotSettings& s) { s.botName = QString(); },
                  {"set userfile \".usr\"", "set botnet-nick \"\"", "set chanfile \".chn\"",
                   "set notefile \".not\""}},
        HeldValue{"EmptyNick", [](BotSettings& s) { s.nick = QString(); }, {"set nick \"\""}},
        HeldValue{"EmptyServer", [](BotSettings& s) { s.server1 = QString(); }, {"  "}},
        HeldValue{
            "WhoisWithQuotes",
            [](BotSettings& s) { s.whoisInfo = "$botnick \"quoted\""; },
            {"set whois-fields \"$botnick \"quoted\"\"", "set realname \"$botnick \"quoted\"\""}}),
    [](const auto& info) { return info.param.name; });

// The scripts text is one unit at the end, its breaks as they stand, then the writer's CR LF.
struct ScriptsText {
    const char* name;
    QString (*text)();
};

QString noScripts() {
    return QString();
}
QString lfOnlyWithoutFinalBreak() {
    return QString("source a.tcl\nsource b.tcl");
}
QString oneLine() {
    return QString("only line");
}

class ScriptsTextTest : public ConfigWriterTest,
                        public ::testing::WithParamInterface<ScriptsText> {};

TEST_P(ScriptsTextTest, IsOneUnitAtTheEnd) {
    const QByteArray head = test::testData("default.cfg");
    const QByteArray beforeScripts = head.left(head.indexOf("##### SCRIPTS #####\r\n\r\n") + 23);
    ASSERT_GT(beforeScripts.size(), 23);
    settings.scripts = GetParam().text();
    EXPECT_EQ(write(), beforeScripts + settings.scripts.toLocal8Bit() + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    , ScriptsTextTest,
    ::testing::Values(
        ScriptsText{"Empty", noScripts},
        ScriptsText{"LfOnlyWithoutFinalBreak", lfOnlyWithoutFinalBreak},
        ScriptsText{"OneLine", oneLine},
        // Longer than the slice the writer encodes and writes at a time (128 Ki characters).
        ScriptsText{"SeveralSlicesLong",
                    [] {
                        QString big;
                        for (int i = 0; big.size() < 300'000; ++i)
                            big += QStringLiteral("putlog \"line %1 \u00e9\"\r\n").arg(i);
                        return big;
                    }},
        // A character outside the BMP whose two UTF-16 halves fall in two slices.
        ScriptsText{"CharacterAcrossTwoSlices",
                    [] {
                        return QString(128 * 1024 - 1, 'x') + QString::fromUcs4(U"\U0001F600") +
                               QString(140'000, 'y');
                    }}),
    [](const auto& info) { return info.param.name; });

// At every report the stage's lines are already in the (still temporary) file beside the target.
TEST_F(ConfigWriterTest, EachStageIsOnDiskWhenReported) {
    struct Counting : WriteProgress {
        QDir dir;
        QString target;
        std::vector<qsizetype> linesAtReport;
        // The new file's name is the writer's own affair: it is whatever else is in the folder.
        qsizetype linesInFileBeside() const {
            for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
                if (dir.filePath(name) != target)
                    return test::readAll(dir.filePath(name)).count("\r\n");
            }
            return -1;
        }
        void stageWritten(WriteStage) override { linesAtReport.push_back(linesInFileBeside()); }
        void fileWritten() override {
            linesAtReport.push_back(test::readAll(target).count("\r\n"));
            linesAtReport.push_back(dir.entryList(QDir::Files | QDir::Hidden).size());
        }
    } progress;
    progress.dir = QDir(dir.path());
    progress.target = settings.outputFileName;

    ConfigWriter().writeConfig(settings, progress);
    // Then the complete file in place, and nothing else in the folder.
    std::vector<qsizetype> expected(fileshape::defaultStageEnds.begin(),
                                    fileshape::defaultStageEnds.end());
    expected.insert(expected.end(), {fileshape::lineCount(settings), 1});
    EXPECT_EQ(progress.linesAtReport, expected);
}

TEST_F(ConfigWriterTest, RelativeNameIsTakenFromTheCurrentDirectory) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    settings.outputFileName = "relative name";
    RecordingProgress progress;
    ConfigWriter().writeConfig(settings, progress);
    ConfigWriter().writeConfig(settings, progress);
    QDir::setCurrent(previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"relative name"});
    EXPECT_EQ(test::readAll(dir.filePath("relative name")), test::testData("default.cfg"));
}

} // namespace
} // namespace quorvel
