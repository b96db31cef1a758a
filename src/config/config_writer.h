#pragma once

#include "config/bot_settings.h"

#include <QString>

#include <cstddef>
#include <stdexcept>

namespace quorvel {

// The points of a write at which progress is reported, in the order they are reached.
enum class WriteStage { GeneralStuff, BotInfo, ChannelSettings, Servers, Scripts };

inline constexpr std::size_t writeStageCount = 5;

// Told how far a write has come. stageWritten(s) means every line of s and of the stages before
// it is in the file; fileWritten() means the complete file is in place. After a failure neither
// is called again.
class WriteProgress {
public:
    virtual ~WriteProgress() = default;
    virtual void stageWritten(WriteStage stage) = 0;
    virtual void fileWritten() = 0;
};

// A write that did not complete. The file of that name, if there was one, is unchanged, unless
// only the last step failed: the new file is in place but its folder could not be synced.
class ConfigWriteError : public std::runtime_error {
public:
    ConfigWriteError(const QString& fileName, const QString& reason, bool earlierFileKept = false);

    const QString& fileName() const { return fileName_; }
    const QString& reason() const { return reason_; }
    // A file of that name was there before the write and still is, unchanged.
    bool earlierFileKept() const { return earlierFileKept_; }

private:
    QString fileName_;
    QString reason_;
    bool earlierFileKept_;
};

// Writes the Eggdrop configuration file for a BotSettings. The new file is built beside the old
// one and replaces it only once it is complete and on disk. Holds nothing between calls.
class ConfigWriter {
public:
    // Throws ConfigWriteError when the file cannot be written.
    void writeConfig(const BotSettings& settings, WriteProgress& progress);
};

} // namespace quorvel
