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

// The default settings with a scripts text of 10 MiB of plain ASCII script lines, writing to the
// named file in the scratch directory. The text is built once and shared by every copy.
BotSettings largeScriptsSettings(const QString& fileName);

// What the writer puts in the file for these settings, learned by letting it write once.
QByteArray writtenBytes(const BotSettings& settings);

// The floor of a write: the same safe replacement the writer does, with nothing around it.
// QSaveFile, fsync of the new file, commit (the rename), fsync of the directory. Throws
// std::runtime_error on failure.
void safeReplace(const QString& path, const QByteArray& bytes);

} // namespace quorvel::bench
