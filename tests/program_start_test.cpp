// Starting the program from a shell: the options every Qt program has, and a clear word when
// there is no display to show the window on.
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

using Environment = std::vector<std::pair<QString, QString>>;

// Runs the program with `arguments` in an environment without any display, plus `extra`.
Outcome runProgram(const QStringList& arguments, const Environment& extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const auto& [name, value] : extra)
        env.insert(name, value);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUORVEL_PROGRAM), arguments);
    Outcome run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = "did not end within a minute";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The plain explanation, and none of Qt's advice to reinstall.
void expectNoDisplayExplained(const Outcome& run) {
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("graphical display")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("xvfb-run")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("Reinstalling")) << run.err.toStdString();
}

TEST(ProgramStartTest, WithoutADisplayItSaysSoAndEnds) {
    expectNoDisplayExplained(runProgram({}));
    // A display that is named but not there.
    expectNoDisplayExplained(runProgram({}, {{"DISPLAY", ":8765"}}));
    // A platform asked for by name that cannot start.
    expectNoDisplayExplained(runProgram({}, {{"QT_QPA_PLATFORM", "xcb"}}));
    // Qt's own options pass the check of the command line, then the display's.
    expectNoDisplayExplained(runProgram({"-style", "fusion", "--reverse", "-name", "bot"}));
}

TEST(ProgramStartTest, HelpAndVersionNeedNoDisplay) {
    Outcome run = runProgram({"--version"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), "Quorvel 1.1");

    run = runProgram({"--help"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("--version") && run.out.contains("--help"))
        << run.out.toStdString();

    // Qt's own options are Qt's; "-reverse" holds no "-v".
    run = runProgram({"-platform", "offscreen", "-reverse", "-v"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), "Quorvel 1.1");
}

// Under a Wayland compositor (run_in_weston.sh names it in WAYLAND_DISPLAY): runs the program
// with `arguments`, no other display and no platform named, until libwayland's trace shows its
// window titled and given a picture, then ends it. Says whether the window came.
testing::AssertionResult opensItsWindow(const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(QUORVEL_PROGRAM), arguments);
    QByteArray output;
    const auto opened = [&] {
        return output.contains("set_title(\"Quorvel! 1.1\")") &&
               output.contains(".attach(wl_buffer");
    };
    const QDeadlineTimer deadline(60000);
    while (!opened() && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(1000);
        output += process.readAll();
    }
    const QString ended = process.state() == QProcess::NotRunning
                              ? QStringLiteral("ended with status %1, %2")
                                    .arg(process.exitCode())
                                    .arg(process.errorString())
                              : QStringLiteral("still running");
    process.kill();
    process.waitForFinished();
    output += process.readAll();
    if (opened())
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "no window; the program " << ended.toStdString() << " and said:\n"
           << output.right(2000).toStdString();
}

class ProgramStartOnWayland : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            GTEST_SKIP() << "run by the wayland test under weston";
    }
};

TEST_F(ProgramStartOnWayland, WaylandDisplayAloneIsADisplay) {
    EXPECT_TRUE(opensItsWindow({}));
}

// Qt's single-dash options are words, not letters run together ("-v" for the version).
TEST_F(ProgramStartOnWayland, ReverseAloneOpensTheWindow) {
    EXPECT_TRUE(opensItsWindow({"-reverse"}));
}

// A mistake on the command line is named, with a display or without (not taken for the lack of
// one). It reads no file: a name given to it must not look as if it had been opened. Qt's own
// options still pass to the display check.
TEST(ProgramStartTest, BadOptionsAndArgumentsAreNamed) {
    const std::pair<QStringList, QString> cases[] = {
        {{"--bogus"}, "bogus"},
        {{"bot.conf"}, "bot.conf"},
        {{"-reverse", "bot.conf"}, "bot.conf"},
        {{"-style"}, "style"}, // its value is missing
    };
    for (const Environment& display :
         {Environment{}, Environment{{"QT_QPA_PLATFORM", "offscreen"}}}) {
        for (const auto& [arguments, named] : cases) {
            const Outcome run = runProgram(arguments, display);
            EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(named)) << run.err.toStdString();
            EXPECT_FALSE(run.err.contains("graphical display")) << run.err.toStdString();
        }
    }
}

} // namespace
