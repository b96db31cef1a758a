// The writer on Windows: what it refuses and why, and that a failure at any step leaves the old
// file exactly as it was.
#include "config/config_writer.h"
#include "config/file_calls.h"
#include "config/replacement_file.h"
#include "system_support.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace quorvel {
namespace {

using test::RecordingProgress;

std::optional<ConfigWriteError> writeError(const BotSettings& settings) {
    RecordingProgress progress;
    try {
        ConfigWriter().writeConfig(settings, progress);
    } catch (const ConfigWriteError& e) {
        EXPECT_EQ(std::count(progress.events.begin(), progress.events.end(), -1), 0);
        return e;
    }
    return std::nullopt;
}

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

class ConfigWriterWindowsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    BotSettings settings;
    const QByteArray oldContent = QByteArray("old configuration\r\n").repeated(1000);
    const FileCalls real = fileCalls;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.outputFileName = dir.filePath("bot.conf");
        QFile old(settings.outputFileName);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(oldContent);
    }
    void TearDown() override { fileCalls = real; }

    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Expects the write to fail with `reason`, leaving the folder and the old file as they were.
    void expectRefused(const QString& reason, bool earlierFileKept = true) {
        const QStringList before = entries();
        const auto e = writeError(settings);
        ASSERT_TRUE(e) << "write succeeded: " << settings.outputFileName.toStdString();
        EXPECT_EQ(e->reason(), reason) << settings.outputFileName.toStdString();
        EXPECT_EQ(e->earlierFileKept(), earlierFileKept) << e->what();
        EXPECT_EQ(entries(), before);
        EXPECT_EQ(test::readAll(dir.filePath("bot.conf")), oldContent);
    }
};

TEST_F(ConfigWriterWindowsTest, UnusableNamesAndDevicesAreRefusedAndNothingIsWritten) {
    const std::pair<QString, QString> cases[] = {
        {dir.path(), "It is a folder, not a file"},
        {dir.filePath("missing/bot.conf"), test::systemReason(ERROR_PATH_NOT_FOUND)},
        {"CON", "It is a device, not a regular file"},
        {dir.filePath("NUL"), "It is a device, not a regular file"},
        {dir.filePath("com1"), "It is a device, not a regular file"},
        {dir.filePath("LPT1.conf"), "It is a device, not a regular file"},
        {dir.filePath("nul .txt"), "It is a device, not a regular file"},
        {dir.filePath("Aux.tar.gz"), "It is a device, not a regular file"},
    };
    for (const auto& [name, reason] : cases) {
        settings.outputFileName = name;
        expectRefused(reason, false);
    }
    // Near misses are ordinary names.
    for (const char* name : {"console.conf", "com10", "lpt0.conf", "nul_bot.conf"}) {
        settings.outputFileName = dir.filePath(name);
        EXPECT_FALSE(writeError(settings)) << name;
        EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg")) << name;
    }
}

TEST_F(ConfigWriterWindowsTest, ReadOnlyOrHeldFileIsRefusedWithTheSystemsReason) {
    const std::wstring name = native(settings.outputFileName);
    ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY));
    expectRefused(test::systemReason(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL));

    // Another program has it open and lets others read it, no more.
    const HANDLE held = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    expectRefused(test::systemReason(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_FALSE(writeError(settings));
}

// The file in the system's ANSI code page (1252 under Wine's default and on Western Windows),
// CR LF, like the Linux build's for the same values.
TEST_F(ConfigWriterWindowsTest, ReplacesWholeInTheAnsiCodePageKeepingTheAttributes) {
    const std::wstring name = native(settings.outputFileName);
    ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(writeError(settings));
    EXPECT_EQ(test::readAll(settings.outputFileName), test::testData("default.cfg"));
    EXPECT_TRUE(GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(entries(), QStringList{"bot.conf"});

    if (GetACP() != 1252)
        return;
    settings.network = QString::fromUtf8("Gr\u00f6\u00dfe \u20ac \u0142");
    EXPECT_FALSE(writeError(settings));
    // What the code page lacks, Windows replaces by its nearest ("ł" by "l").
    EXPECT_TRUE(test::readAll(settings.outputFileName)
                    .contains("set network \"Gr\xF6\xDF"
                              "e \x80 l\"\r\n"));
}

// Each call that makes the new file durable and puts it in place, failing as a disk can.
DWORD injectedError = 0;
BOOL WINAPI failingFlush(HANDLE) {
    SetLastError(injectedError);
    return FALSE;
}
BOOL WINAPI failingReplace(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    SetLastError(injectedError);
    return FALSE;
}
// As Windows does when the old file has gone aside and the new one cannot follow.
BOOL WINAPI failingAfterTheOldWentAside(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID,
                                        LPVOID) {
    if (!MoveFileExW(replaced, backup, 0))
        return FALSE;
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}
HANDLE WINAPI failingCreate(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(injectedError);
    return INVALID_HANDLE_VALUE;
}
BOOL WINAPI failingMove(LPCWSTR, LPCWSTR, DWORD) {
    SetLastError(injectedError);
    return FALSE;
}

TEST_F(ConfigWriterWindowsTest, FailingStepIsReportedAndTheOldFileStays) {
    injectedError = ERROR_IO_DEVICE;
    fileCalls.flushFileBuffers = failingFlush;
    expectRefused(test::systemReason(ERROR_IO_DEVICE));
    fileCalls = real;

    injectedError = ERROR_UNABLE_TO_REMOVE_REPLACED;
    fileCalls.replaceFile = failingReplace;
    expectRefused(test::systemReason(ERROR_UNABLE_TO_REMOVE_REPLACED));

    fileCalls.replaceFile = failingAfterTheOldWentAside;
    expectRefused(test::systemReason(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2));
    fileCalls = real;

    // The folder refuses the new file (under Wine, run as root, no folder does): the folder is
    // named as what refused, whatever the old file allows.
    injectedError = ERROR_ACCESS_DENIED;
    fileCalls.createFile = failingCreate;
    expectRefused(replacement::folderRefuses(QDir::toNativeSeparators(dir.path()),
                                             test::systemReason(ERROR_ACCESS_DENIED)));
    fileCalls = real;

    // A new file that cannot be put in place leaves nothing behind.
    injectedError = ERROR_DISK_FULL;
    fileCalls.moveFileEx = failingMove;
    settings.outputFileName = dir.filePath("new.conf");
    expectRefused(test::systemReason(ERROR_DISK_FULL), false);
}

} // namespace
} // namespace quorvel
