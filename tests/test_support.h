#pragma once

#include "config/config_writer.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <clocale>
#include <vector>

namespace quorvel::test {

// The program runs in the user's locale (QCoreApplication takes it from the environment), so
// the tests do too, also where no QCoreApplication is made: system messages then come in the
// user's language.
inline const bool localeFromEnvironment = std::setlocale(LC_ALL, "") != nullptr;

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline QByteArray testData(const char* name) {
    return readAll(QStringLiteral(QUORVEL_TEST_DATA_DIR "/") + QLatin1String(name));
}

// Splits on CR LF; the text after the last CR LF (empty for a well-formed file) is dropped.
inline std::vector<QByteArray> crlfLines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = bytes.indexOf("\r\n", start)) >= 0; start = end + 2)
        lines.push_back(bytes.mid(start, end - start));
    return lines;
}

// Records every report in order; -1 stands for fileWritten.
struct RecordingProgress : WriteProgress {
    std::vector<int> events;
    void stageWritten(WriteStage stage) override { events.push_back(static_cast<int>(stage)); }
    void fileWritten() override { events.push_back(-1); }
};

inline const std::vector<int> completeWrite{0, 1, 2, 3, 4, -1};

} // namespace quorvel::test
