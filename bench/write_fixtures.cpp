#include "write_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvel::bench {

const QString& scratchDirectory() {
    static const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quorvel-bench-XXXXXX"));
    if (!dir.isValid())
        throw std::runtime_error("cannot create a scratch directory");
    static const QString path = dir.path();
    return path;
}

BotSettings largeScriptsSettings(const QString& fileName) {
    static const QString text = [] {
        constexpr qsizetype bytes = 10 * 1024 * 1024;
        QString t;
        t.reserve(bytes + 64);
        for (int n = 0; t.size() < bytes; ++n)
            t += QStringLiteral("source scripts/script%1.tcl\r\n").arg(n, 6, 10, QLatin1Char('0'));
        t.truncate(bytes - 2); // ends in a line break, as the default text does
        t += QLatin1String("\r\n");
        return t;
    }();
    BotSettings settings;
    settings.scripts = text;
    settings.outputFileName = scratchDirectory() + QLatin1Char('/') + fileName;
    return settings;
}

QByteArray writtenBytes(const BotSettings& settings) {
    IgnoreProgress progress;
    ConfigWriter().writeConfig(settings, progress);
    QFile file(settings.outputFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read back the written file");
    return file.readAll();
}

void safeReplace(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0 || !file.commit()) {
        throw std::runtime_error("the direct write failed: " + file.errorString().toStdString());
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace quorvel::bench
