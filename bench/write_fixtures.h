#pragma once

// What the benchmarks of a write share.

#include "config/bot_settings.h"
#include "config/config_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvel::bench {

class IgnoreProgress final : public WriteProgress {
public:
    void stageWritten(WriteStage) override {}
    void fileWritten() override {}
};

// A scratch directory for the whole process, removed at exit.
inline const QString& scratchDirectory() {
    static const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quorvel-bench-XXXXXX"));
    if (!dir.isValid())
        throw std::runtime_error("cannot create a scratch directory");
    static const QString path = dir.path();
    return path;
}

// The default settings with a scripts text of 10 MiB of plain ASCII script lines, ending in a
// line break as the default text does, writing to the named file in the scratch directory.
inline BotSettings largeScriptsSettings(const QString& fileName) {
    static const QString text = [] {
        constexpr qsizetype bytes = 10 * 1024 * 1024;
        QString t;
        t.reserve(bytes + 64);
        for (int n = 0; t.size() < bytes; ++n)
            t += QStringLiteral("source scripts/script%1.tcl\r\n").arg(n, 6, 10, QLatin1Char('0'));
        t.truncate(bytes - 2);
        return t + QLatin1String("\r\n");
    }();
    BotSettings settings;
    settings.scripts = text;
    settings.outputFileName = scratchDirectory() + QLatin1Char('/') + fileName;
    return settings;
}

// The floor of a write: the same safe replacement the writer does, with nothing around it.
// QSaveFile, fsync of the new file, commit (the rename), fsync of the directory.
inline void safeReplace(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0 || !file.commit()) {
        throw std::runtime_error("the direct write failed: " + file.errorString().toStdString());
    }
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace quorvel::bench
