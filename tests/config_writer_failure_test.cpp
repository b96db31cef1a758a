// A write that fails must leave whatever was there before exactly as it was.
#include "config/config_writer.h"
#include "config/file_calls.h"
#include "file_shape.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace quorvel {
namespace {

using test::RecordingProgress;

// Runs `body` in a child process and returns its exit status (or -1 if it did not exit).
template <class Body> int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const passwd* nobody() {
    static const passwd* const user = getpwnam("nobody");
    return user;
}

// As inChild, but root, whom permission bits do not stop, becomes "nobody" in the child.
template <class Body> int asNobody(Body body) {
    return inChild([&] {
        const bool dropped =
            geteuid() != 0 || (nobody() && setgroups(0, nullptr) == 0 &&
                               setgid(nobody()->pw_gid) == 0 && setuid(nobody()->pw_uid) == 0);
        return dropped ? body() : 10;
    });
}

bool setMode(const QString& path, mode_t mode) {
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Hands `path` to the user a child runs as after dropRoot().
bool giveToUnprivileged(const QString& path) {
    if (geteuid() != 0)
        return true;
    return nobody() &&
           chown(QFile::encodeName(path).constData(), nobody()->pw_uid, nobody()->pw_gid) == 0;
}

struct stat statOf(const QString& path) {
    struct stat st = {};
    EXPECT_EQ(stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

// The error a write ends in; none when it succeeds.
std::optional<ConfigWriteError> writeError(const BotSettings& settings, WriteProgress& progress) {
    try {
        ConfigWriter().writeConfig(settings, progress);
    } catch (const ConfigWriteError& e) {
        return e;
    }
    return std::nullopt;
}

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

    // Pipes, sockets and devices included.
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Expects the write to fail, naming the file, report nothing and change nothing; returns
    // the error.
    ConfigWriteError expectFailure() {
        const QStringList before = entries();
        RecordingProgress progress;
        const auto error = writeError(settings, progress);
        EXPECT_TRUE(error && error->fileName() == settings.outputFileName &&
                    QString::fromUtf8(error->what()).contains(error->fileName()) &&
                    QString::fromUtf8(error->what()).contains(error->reason()))
            << (error ? error->what() : "write succeeded");
        EXPECT_TRUE(progress.events.empty());
        EXPECT_EQ(entries(), before);
        EXPECT_EQ(test::readAll(dir.filePath("bot.conf")), oldContent);
        return error.value_or(ConfigWriteError(QString(), QString()));
    }
};

TEST_F(ConfigWriterFailureTest, UnusableNamesFailWithAPlainReason) {
    const std::pair<QString, QString> cases[] = {
        {QString(), "No file name was given"},
        {dir.path(), qt_error_string(EISDIR)},
        {dir.filePath("missing/bot.conf"), qt_error_string(ENOENT)},
    };
    for (const auto& [name, reason] : cases) {
        settings.outputFileName = name;
        const ConfigWriteError e = expectFailure();
        EXPECT_EQ(e.reason(), reason);
        EXPECT_FALSE(e.earlierFileKept());
    }
}

// Replacing a device, pipe or socket by a plain file would break whatever uses it (as root,
// "/dev/null" would go); opening a pipe would wait for a reader that never comes.
TEST_F(ConfigWriterFailureTest, WhatIsNotAPlainFileIsRefusedUntouched) {
    QStringList names{"pipe", "socket", "link to pipe"};
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0666), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("pipe"), dir.filePath("link to pipe")));
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(dir.filePath("socket"));
    ASSERT_LT(std::size_t(socketPath.size()), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // The null device, made here; only root may.
    if (mknod(QFile::encodeName(dir.filePath("null")).constData(), S_IFCHR | 0666, makedev(1, 3)) ==
        0)
        names << "null";

    for (const QString& name : names) {
        settings.outputFileName = dir.filePath(name);
        const struct stat before = statOf(settings.outputFileName);
        const ConfigWriteError e = expectFailure();
        EXPECT_TRUE(e.reason().contains("not a regular file")) << e.reason().toStdString();
        EXPECT_FALSE(e.earlierFileKept()) << name.toStdString();
        const struct stat after = statOf(settings.outputFileName);
        EXPECT_EQ(std::tie(after.st_ino, after.st_mode, after.st_rdev),
                  std::tie(before.st_ino, before.st_mode, before.st_rdev))
            << name.toStdString();
    }
    close(sock);
}

// A refusal names what refused: the file itself, or the folder in which its replacement would
// be made. The folder's refusal stands even for a writable file: writing into the file in place
// could leave it half written.
TEST_F(ConfigWriterFailureTest, RefusalNamesTheFileOrTheFolderThatRefused) {
    const QStringList before = entries();
    const QString folder = dir.path();
    const QString newFile = dir.filePath("new.conf");
    // Exit status 0 when the refusal is as expected.
    const auto refused = [&](const QString& name, bool folderRefuses, bool earlier) {
        return asNobody([&] {
            settings.outputFileName = name;
            RecordingProgress progress;
            const auto e = writeError(settings, progress);
            if (!e)
                return 1;
            const QString denied = qt_error_string(EACCES);
            const bool named = folderRefuses
                                   ? e->reason().contains(denied) && e->reason().contains(folder) &&
                                         e->reason() != denied
                                   : e->reason() == denied;
            if (!named) {
                std::fprintf(stderr, "reason: %s\n", qPrintable(e->reason()));
                return 2;
            }
            if (e->earlierFileKept() != earlier)
                return 3;
            return progress.events.empty() ? 0 : 4;
        });
    };

    // The file is read-only, the folder open.
    ASSERT_TRUE(giveToUnprivileged(folder));
    ASSERT_TRUE(setMode(settings.outputFileName, 0444));
    EXPECT_EQ(refused(settings.outputFileName, false, true), 0);

    // The file is writable, the folder is not.
    ASSERT_EQ(chown(QFile::encodeName(folder).constData(), geteuid(), getegid()), 0);
    ASSERT_TRUE(giveToUnprivileged(settings.outputFileName));
    ASSERT_TRUE(setMode(settings.outputFileName, 0644));
    ASSERT_TRUE(setMode(folder, 0555));
    EXPECT_EQ(refused(settings.outputFileName, true, true), 0);
    EXPECT_EQ(refused(newFile, true, false), 0);

    ASSERT_TRUE(setMode(folder, 0700));
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(test::readAll(settings.outputFileName), oldContent);
}

// The file-size limit makes the disk refuse data after N bytes, wherever N falls: in the middle
// of a stage, on a stage boundary, at the very end.
TEST_F(ConfigWriterFailureTest, WriteCutShortAtAnyPointLeavesTheOldFile) {
    const QByteArray full = test::testData("default.cfg");
    ASSERT_FALSE(full.isEmpty());
    const auto& lineEnds = fileshape::defaultStageEnds;
    std::vector<qsizetype> stageEnds; // the byte offsets at which each stage's lines are complete
    for (qsizetype pos = 0, line = 1; line <= lineEnds.back(); ++line) {
        pos = full.indexOf("\r\n", pos) + 2;
        if (std::find(lineEnds.begin(), lineEnds.end(), line) != lineEnds.end())
            stageEnds.push_back(pos);
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
            const auto e = writeError(settings, progress);
            if (!e)
                return 96;
            for (std::size_t i = 0; i < progress.events.size(); ++i)
                if (progress.events[i] != int(i))
                    return 98;
            if (!e->earlierFileKept())
                return 95;
            return e->reason() == qt_error_string(EFBIG) ? int(progress.events.size()) : 97;
        });
        EXPECT_EQ(status, expectedStages) << "limit " << limit;
        EXPECT_EQ(entries(), QStringList{"bot.conf"}) << "limit " << limit;
        EXPECT_EQ(test::readAll(settings.outputFileName), oldContent) << "limit " << limit;
    }
}

// The file may belong to the bot's own account while root writes it: the bot must still be able
// to read it afterwards. Only its group may differ from the writer's, too.
struct EarlierOwner {
    const char* name;
    bool otherUser; // else only the group differs
};

class KeptOwnerTest : public ConfigWriterFailureTest,
                      public ::testing::WithParamInterface<EarlierOwner> {};

TEST_P(KeptOwnerTest, SuccessReplacesTheOldFileWholeAndKeepsItsOwnerAndPermissions) {
    if (geteuid() != 0 && !GetParam().otherUser)
        GTEST_SKIP() << "needs a group of another user: run as root";
    ASSERT_TRUE(giveToUnprivileged(settings.outputFileName));
    const QByteArray path = QFile::encodeName(settings.outputFileName);
    if (!GetParam().otherUser) {
        ASSERT_EQ(chown(path.constData(), geteuid(), gid_t(-1)), 0);
    }
    ASSERT_TRUE(setMode(settings.outputFileName, 0640));
    const struct stat before = statOf(settings.outputFileName);
    RecordingProgress progress;
    ConfigWriter().writeConfig(settings, progress);
    EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg"));
    const struct stat after = statOf(settings.outputFileName);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not written in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(entries(), QStringList{"bot.conf"});
}

INSTANTIATE_TEST_SUITE_P(, KeptOwnerTest,
                         ::testing::Values(EarlierOwner{"OtherUser", true},
                                           EarlierOwner{"OnlyTheGroupDiffers", false}),
                         [](const auto& info) { return info.param.name; });

// Each call that makes the new file durable and puts it in place, failing as a disk can.
int injectedErrno = 0;
template <class... Args> int failing(Args...) {
    errno = injectedErrno;
    return -1;
}

struct CallFailure {
    const char* name;
    void (*inject)(FileCalls&);
    int err;
    // The folder's sync comes after the rename: the new file is in place, and says so.
    bool oldFileKept = true;
};

class FailingCallTest : public ConfigWriterFailureTest,
                        public ::testing::WithParamInterface<CallFailure> {
protected:
    const FileCalls real = fileCalls;
    void TearDown() override { fileCalls = real; }
};

TEST_P(FailingCallTest, FailureIsReportedWithTheSystemsReasonNeverAsSuccess) {
    // The owner is changed only where it differs: root writing a file of another user.
    if (geteuid() != 0 && std::string_view(GetParam().name) == "OwnerChange")
        GTEST_SKIP() << "needs a file of another user: run as root";
    ASSERT_TRUE(giveToUnprivileged(settings.outputFileName));
    const struct stat before = statOf(settings.outputFileName);
    injectedErrno = GetParam().err;
    GetParam().inject(fileCalls);
    RecordingProgress progress;
    const auto e = writeError(settings, progress);
    ASSERT_TRUE(e) << "write succeeded";
    const QString reason = qt_error_string(GetParam().err);
    EXPECT_TRUE(GetParam().oldFileKept ? e->reason() == reason
                                       : e->reason().endsWith(": " + reason))
        << e->what();
    EXPECT_EQ(e->earlierFileKept(), GetParam().oldFileKept);
    EXPECT_EQ(std::count(progress.events.begin(), progress.events.end(), -1), 0) << "fileWritten";
    EXPECT_EQ(entries(), QStringList{"bot.conf"});
    if (GetParam().oldFileKept) {
        EXPECT_EQ(test::readAll(settings.outputFileName), oldContent);
        EXPECT_EQ(statOf(settings.outputFileName).st_ino, before.st_ino);
    } else {
        EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    , FailingCallTest,
    ::testing::Values(
        CallFailure{"FinalSync", [](FileCalls& c) { c.fsync = failing<int>; }, EIO},
        CallFailure{"OwnerChange", [](FileCalls& c) { c.fchown = failing<int, uid_t, gid_t>; },
                    EIO},
        CallFailure{"Rename", [](FileCalls& c) { c.rename = failing<const char*, const char*>; },
                    ENOSPC},
        CallFailure{"FolderSync", [](FileCalls& c) { c.fsyncDirectory = failing<int>; }, EIO,
                    false}),
    [](const auto& info) { return info.param.name; });

// Who may not give the file away still replaces it, as its own.
TEST_F(ConfigWriterFailureTest, OwnerThatCannotBeKeptGivesWayToTheWriter) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a second user: run as root";
    ASSERT_TRUE(setMode(dir.path(), 0777));
    ASSERT_TRUE(setMode(settings.outputFileName, 0666));
    const int status = asNobody([&] {
        RecordingProgress progress;
        if (const auto e = writeError(settings, progress)) {
            std::fprintf(stderr, "reason: %s\n", qPrintable(e->reason()));
            return 1;
        }
        return progress.events == test::completeWrite ? 0 : 2;
    });
    ASSERT_TRUE(setMode(dir.path(), 0700));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg"));
    const struct stat after = statOf(settings.outputFileName);
    EXPECT_EQ(after.st_uid, nobody()->pw_uid);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
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
