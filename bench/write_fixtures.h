#pragma once

#include "config/bot_settings.h"
#include "config/config_writer.h"

#include <QByteArray>
#include <QString>

namespace quorvel::bench {

class IgnoreProgress final : public WriteProgress {
public:
    void stageWritten(WriteStage) override {}
    void fileWritten() override {}
};

// A scratch directory for the whole process, removed at exit.
const QString& scratchDirectory();

// The default settings, writing to the named file in the scratch directory.
BotSettings defaultSettings(const QString& fileName);

// Script lines of plain ASCII, CR LF between them and none after the last, `bytes` long.
const QString& largeScriptsText(qsizetype bytes);

inline constexpr qsizetype largeScriptsBytes = 10 * 1024 * 1024;

// What the writer puts in the file for these settings, learned by letting it write once.
QByteArray writtenBytes(const BotSettings& settings);

// The floor of a write: the same replacement the writer does, with nothing else around it.
// QSaveFile builds a temporary file beside the target, which is synced, renamed over the
// target, and then the directory is synced. Throws std::runtime_error on failure.
void safeReplace(const QString& path, const QByteArray& bytes);

} // namespace quorvel::bench
