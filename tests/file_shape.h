#pragma once

#include "config/bot_settings.h"
#include "config/config_writer.h"

#include <QString>

#include <array>
#include <cstddef>

// The shape of every file ConfigWriter writes, in lines, for the tests and the fuzzer that check
// it.
namespace quorvel::fileshape {

// Lines written whatever the settings: 86 up to the module path, 157 from the channels module
// through the scripts line, which counts once however many lines the scripts text holds.
inline constexpr qsizetype fixedLines = 86 + 157;

// The last line of each stage in the file written for the default settings (no my-hostname or
// my-ip, servers 2 and 3, a scripts text of six lines), counted by hand.
inline constexpr std::array<qsizetype, writeStageCount> defaultStageEnds{35, 61, 129, 166, 250};

// The optional lines chosen in s (0 to 4).
inline qsizetype optionalLines(const BotSettings& s) {
    return qsizetype(s.useMyHostname) + qsizetype(s.useMyIp) + qsizetype(s.useServer2) +
           qsizetype(s.useServer3);
}

// Lines of the scripts text as written: its CR LF breaks plus one.
inline qsizetype scriptsLines(const BotSettings& s) {
    return s.scripts.count(QStringLiteral("\r\n")) + 1;
}

// The line count of the file written for s: the number of CR LF in it.
inline qsizetype lineCount(const BotSettings& s) {
    return fixedLines + optionalLines(s) + scriptsLines(s) - 1;
}

} // namespace quorvel::fileshape
