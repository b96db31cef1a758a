// A write that fails must leave whatever was there before exactly as it was.
#include "config/config_writer.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvel {
namespace {

using test::RecordingProgress;

class ConfigWriterFailureTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    BotSettings settings;
    const QByteArray oldContent = QByteArray("old configuration\r\n").repeated(1000);

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.outputFileName = dir.filePath("bot.conf");
        QFile old(settings.outputFileName);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(oldContent);
    }

    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Expects the write to fail with `reason`, report nothing and change nothing.
    void expectFailure(const QString& reason) {
        const QStringList before = entries();
        RecordingProgress progress;
        try {
            ConfigWriter().writeConfig(settings, progress);
            ADD_FAILURE() << "write succeeded";
        } catch (const ConfigWriteError& e) {
            EXPECT_EQ(e.reason(), reason);
            EXPECT_TRUE(QString::fromStdString(e.what()).contains(reason)) << e.what();
        }
        EXPECT_TRUE(progress.events.empty());
        EXPECT_EQ(entries(), before);
        EXPECT_EQ(test::readAll(dir.filePath("bot.conf")), oldContent);
    }
};

TEST_F(ConfigWriterFailureTest, UnusableNamesFailWithAPlainReason) {
    settings.outputFileName = QString();
    expectFailure("No such file or directory");

    settings.outputFileName = dir.path();
    expectFailure("Is a directory");

    settings.outputFileName = dir.filePath("missing/bot.conf");
    expectFailure("No such file or directory");
}

TEST_F(ConfigWriterFailureTest, ErrorNamesTheFile) {
    settings.outputFileName = dir.filePath("missing/bot.conf");
    try {
        RecordingProgress progress;
        ConfigWriter().writeConfig(settings, progress);
        FAIL() << "write succeeded";
    } catch (const ConfigWriteError& e) {
        EXPECT_EQ(e.fileName(), settings.outputFileName);
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(settings.outputFileName)) << e.what();
    }
}

// Runs `body` in a child process and returns its exit status (or -1 if it did not exit).
template <class Body> int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ConfigWriterFailureTest, NoPermissionLeavesTheOldFile) {
    const QStringList before = entries();
    // Root ignores permission bits, so drop to an unprivileged user for the attempt.
    const int status = inChild([&] {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
                return 3;
        } else if (!QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner)) {
            return 3;
        }
        RecordingProgress progress;
        try {
            ConfigWriter().writeConfig(settings, progress);
        } catch (const ConfigWriteError& e) {
            return e.reason() == "Permission denied" && progress.events.empty() ? 0 : 2;
        }
        return 1;
    });
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(test::readAll(settings.outputFileName), oldContent);
}

// The file-size limit makes the disk refuse data after N bytes, wherever N falls: in the middle
// of a stage, on a stage boundary, at the very end.
TEST_F(ConfigWriterFailureTest, WriteCutShortAtAnyPointLeavesTheOldFile) {
    const QByteArray full = test::testData("default.cfg");
    ASSERT_FALSE(full.isEmpty());
    // Byte offsets at which each stage's lines are complete.
    std::vector<qsizetype> stageEnds;
    {
        qsizetype pos = 0;
        int line = 0;
        for (int end : {35, 61, 129, 166}) {
            for (; line < end; ++line)
                pos = full.indexOf("\r\n", pos) + 2;
            stageEnds.push_back(pos);
        }
        stageEnds.push_back(full.size());
    }

    std::vector<qsizetype> limits{0, 1, full.size() - 1, full.size() - 2};
    for (qsizetype n = 97; n < full.size(); n += 397)
        limits.push_back(n);
    for (qsizetype end : stageEnds)
        limits.insert(limits.end(), {end - 1, end, end + 1});

    for (qsizetype limit : limits) {
        if (limit < 0 || limit >= full.size())
            continue;
        const int expectedStages = int(std::count_if(stageEnds.begin(), stageEnds.end(),
                                                     [&](qsizetype e) { return e <= limit; }));
        const int status = inChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{rlim_t(limit), rlim_t(limit)};
            if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
                return 99;
            RecordingProgress progress;
            try {
                ConfigWriter().writeConfig(settings, progress);
            } catch (const ConfigWriteError& e) {
                for (std::size_t i = 0; i < progress.events.size(); ++i) {
                    if (progress.events[i] != int(i))
                        return 98;
                }
                return e.reason() == "File too large" ? int(progress.events.size()) : 97;
            }
            return 96;
        });
        EXPECT_EQ(status, expectedStages) << "limit " << limit;
        EXPECT_EQ(entries(), QStringList{"bot.conf"}) << "limit " << limit;
        EXPECT_EQ(test::readAll(settings.outputFileName), oldContent) << "limit " << limit;
    }
}

TEST_F(ConfigWriterFailureTest, SuccessReplacesTheOldFileWholeAndKeepsItsPermissions) {
    const QByteArray path = QFile::encodeName(settings.outputFileName);
    ASSERT_EQ(chmod(path.constData(), 0640), 0);
    RecordingProgress progress;
    ConfigWriter().writeConfig(settings, progress);
    EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg"));
    struct stat st = {};
    ASSERT_EQ(stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), QStringList{"bot.conf"});
}

TEST_F(ConfigWriterFailureTest, SymbolicLinkKeepsPointingAtItsTarget) {
    const QString link = dir.filePath("link.conf");
    ASSERT_TRUE(QFile::link(settings.outputFileName, link));
    const QString target = settings.outputFileName;
    settings.outputFileName = link;
    RecordingProgress progress;
    ConfigWriter().writeConfig(settings, progress);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(test::readAll(target), test::testData("default.cfg"));
    EXPECT_EQ(entries(), (QStringList{"bot.conf", "link.conf"}));
}

} // namespace
} // namespace quorvel
