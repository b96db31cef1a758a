#include "write_fixtures.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <unistd.h>

namespace quorvel::bench {

const QString& scratchDirectory() {
    static const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quorvel-bench-XXXXXX"));
    static const QString path = [] {
        if (!dir.isValid())
            throw std::runtime_error("cannot create a scratch directory");
        return dir.path();
    }();
    return path;
}

BotSettings defaultSettings(const QString& fileName) {
    BotSettings settings;
    settings.outputFileName = scratchDirectory() + QLatin1Char('/') + fileName;
    return settings;
}

const QString& largeScriptsText(qsizetype bytes) {
    static std::map<qsizetype, QString> texts;
    QString& text = texts[bytes];
    if (text.isEmpty() && bytes > 0) {
        text.reserve(bytes + 64);
        for (int n = 0; text.size() < bytes; ++n) {
            if (n > 0)
                text += QLatin1String("\r\n");
            text += QStringLiteral("source scripts/script%1.tcl").arg(n, 6, 10, QLatin1Char('0'));
        }
        text.truncate(bytes);
        if (text.endsWith(QLatin1Char('\r'))) // a lone CR would be half a line break
            text.back() = QLatin1Char('x');
    }
    return text;
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
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        ::fsync(file.handle()) != 0 || !file.commit()) {
        throw std::runtime_error("the direct write failed: " + file.errorString().toStdString());
    }
    const QByteArray dir = QFile::encodeName(scratchDirectory());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace quorvel::bench
