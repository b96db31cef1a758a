// libFuzzer target for ConfigWriter: turns arbitrary bytes into a BotSettings, writes it with the
// real writer into a scratch directory and aborts when the file or the progress reports break a
// rule that holds for every record.
//
// How the input becomes a record (FuzzedDataProvider): the integers come from the end of the
// input, the texts from the front.
//  - 32 bits: channel flags 0-23, then useMyHostname, useMyIp, useServer2, useServer3.
//  - 32 bits: two per text field, how its bytes are read: UTF-8, Latin-1 or raw UTF-16, so that
//    any character reaches the writer (quotes, braces, NUL, non-ASCII, unpaired surrogates).
//  - 1 byte: 0xff repeats a non-empty scripts text to over 128 Ki characters, so that the writer
//    encodes and writes it in several slices.
//  - then the 15 single-line texts and the scripts text, each up to an unescaped backslash.
//
// The single-line fields lose any CR and LF: in the program they come from one-line text boxes,
// which cannot hold a line break, while the writer deliberately writes every value unchanged. The
// scripts text keeps everything, bare CR and LF included. outputFileName is not fuzzed: it is
// the scratch file.

#include "config/bot_settings.h"
#include "config/config_writer.h"

#include "file_shape.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {
namespace {

// Over the slice of a long text that the writer encodes and writes at a time (128 Ki characters).
constexpr qsizetype hugeScriptsSize = 128 * 1024 + 1;

std::unique_ptr<QTemporaryDir> scratchDir;
QString outputPath;

[[noreturn]] void violated(const char* rule, qsizetype detail = -1) {
    if (detail >= 0)
        std::fprintf(stderr, "config_writer_fuzzer: %s (%lld)\n", rule,
                     static_cast<long long>(detail));
    else
        std::fprintf(stderr, "config_writer_fuzzer: %s\n", rule);
    scratchDir.reset(); // abort() skips the destructor that would remove it
    std::abort();
}

// Checks each report as it arrives, so that a violation aborts with the writer on the stack.
class CheckingProgress : public WriteProgress {
public:
    explicit CheckingProgress(const QString& path) : path_(path) {}

    void stageWritten(WriteStage stage) override {
        if (completed_)
            violated("stage reported after fileWritten");
        if (static_cast<std::size_t>(stage) != stages_)
            violated("stage reported out of order; expected stage", qsizetype(stages_));
        ++stages_;
    }
    void fileWritten() override {
        if (completed_)
            violated("fileWritten reported twice");
        if (stages_ != writeStageCount)
            violated("fileWritten reported after too few stages", qsizetype(stages_));
        completed_ = true;
        // The file must be complete and in place by now, not only once writeConfig returns.
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly))
            violated("fileWritten reported, but the file cannot be read");
        fileAtReport_ = file.readAll();
    }
    bool completed() const { return completed_; }
    const QByteArray& fileAtReport() const { return fileAtReport_; }

private:
    QString path_;
    std::size_t stages_ = 0;
    bool completed_ = false;
    QByteArray fileAtReport_;
};

QString decodeText(const std::string& bytes, unsigned encoding) {
    switch (encoding) {
    case 1:
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    case 2: {
        // Host byte order; an odd last byte is dropped.
        std::vector<char16_t> units(bytes.size() / 2);
        if (units.empty())
            return {};
        std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
        return QString::fromUtf16(units.data(), qsizetype(units.size()));
    }
    default:
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
}

BotSettings settingsFrom(FuzzedDataProvider& in) {
    BotSettings s;
    const auto flags = in.ConsumeIntegral<std::uint32_t>();
    for (std::size_t k = 0; k < channelFlagCount; ++k)
        s.channelFlags[k] = (flags >> k) & 1U;
    s.useMyHostname = (flags >> 24) & 1U;
    s.useMyIp = (flags >> 25) & 1U;
    s.useServer2 = (flags >> 26) & 1U;
    s.useServer3 = (flags >> 27) & 1U;

    auto encodings = in.ConsumeIntegral<std::uint32_t>();
    const bool hugeScripts = in.ConsumeIntegral<std::uint8_t>() == 0xff;
    auto nextText = [&] {
        const unsigned encoding = encodings & 3U;
        encodings >>= 2;
        return decodeText(in.ConsumeRandomLengthString(), encoding);
    };

    const std::array singleLine{&s.username, &s.admin,   &s.network,   &s.myHostname,
                                &s.myIp,     &s.botName, &s.whoisInfo, &s.telnetPort,
                                &s.eggPath,  &s.nick,    &s.altNick,   &s.channel,
                                &s.server1,  &s.server2, &s.server3};
    for (QString* field : singleLine) {
        *field = nextText();
        field->remove(QLatin1Char('\r'));
        field->remove(QLatin1Char('\n'));
    }
    s.scripts = nextText();
    if (hugeScripts && !s.scripts.isEmpty())
        s.scripts = s.scripts.repeated(hugeScriptsSize / s.scripts.size() + 1);

    s.outputFileName = outputPath;
    return s;
}

// Index of the only line equal to text; aborts when there is none or more than one.
std::size_t onlyLine(const std::vector<QByteArray>& lines, const char* text) {
    std::size_t found = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == text) {
            if (found != lines.size())
                violated("a fixed line appears twice", qsizetype(i));
            found = i;
        }
    }
    if (found == lines.size())
        violated("a fixed line is missing");
    return found;
}

qsizetype countStarting(const std::vector<QByteArray>& lines, const char* prefix) {
    qsizetype count = 0;
    for (const QByteArray& line : lines)
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

void checkFile(const QByteArray& file, const BotSettings& s) {
    if (!file.endsWith("\r\n"))
        violated("file does not end in CR LF");

    const qsizetype expectedLines = fileshape::lineCount(s);
    if (file.count("\r\n") != expectedLines)
        violated("wrong number of lines; expected", expectedLines);

    // Everything before the scripts text: whole lines, none with a bare CR or LF.
    const qsizetype headCount = expectedLines - fileshape::scriptsLines(s);
    std::vector<QByteArray> head;
    head.reserve(std::size_t(headCount));
    qsizetype pos = 0;
    for (qsizetype i = 0; i < headCount; ++i) {
        const qsizetype end = file.indexOf("\r\n", pos);
        if (end < 0)
            violated("file ends before the scripts text");
        head.push_back(file.mid(pos, end - pos));
        if (head.back().contains('\r') || head.back().contains('\n'))
            violated("bare CR or LF outside the scripts text, line", i + 1);
        pos = end + 2;
    }
    if (head[std::size_t(headCount) - 2] != "##### SCRIPTS #####" || !head.back().isEmpty())
        violated("the scripts text does not follow its heading and blank line");
    if (file.mid(pos) != s.scripts.toLocal8Bit() + "\r\n")
        violated("the scripts text is not written unchanged and ended by CR LF");

    if (!head.front().startsWith("#! "))
        violated("the first line is not the interpreter line");
    if (countStarting(head, "set my-hostname ") != qsizetype(s.useMyHostname))
        violated("the my-hostname line does not follow its flag");
    if (countStarting(head, "set my-ip ") != qsizetype(s.useMyIp))
        violated("the my-ip line does not follow its flag");

    const std::size_t chanset = onlyLine(head, "set global-chanset {");
    for (std::size_t k = 0; k < channelFlagCount; ++k) {
        const QByteArray expected =
            QByteArray(s.channelFlags[k] ? "     +" : "     -") + channelFlagTable[k].name;
        if (chanset + 1 + k >= head.size() || head[chanset + 1 + k] != expected)
            violated("channel flag line wrong, flag", qsizetype(k + 1));
    }
    if (chanset + 1 + channelFlagCount >= head.size() ||
        head[chanset + 1 + channelFlagCount] != "}")
        violated("the channel settings block does not close after 24 flags");

    const std::size_t servers = onlyLine(head, "set servers {");
    const std::size_t serverLines = 1 + std::size_t(s.useServer2) + std::size_t(s.useServer3);
    for (std::size_t i = 1; i <= serverLines; ++i) {
        if (servers + i >= head.size() || !head[servers + i].startsWith("  "))
            violated("server line missing, server line", qsizetype(i));
    }
    if (servers + serverLines + 1 >= head.size() || head[servers + serverLines + 1] != "}")
        violated("the server list does not close after the chosen servers");
}

} // namespace
} // namespace quorvel

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    using namespace quorvel;
    // A memory file system keeps the writer's sync calls cheap; any temp dir works otherwise.
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    scratchDir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/quorvel-fuzz-XXXXXX"));
    if (!scratchDir->isValid())
        violated("cannot create a scratch directory");
    outputPath = scratchDir->filePath(QStringLiteral("bot.conf"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    FuzzedDataProvider in(data, size);
    const BotSettings settings = settingsFrom(in);

    CheckingProgress progress(outputPath);
    try {
        ConfigWriter().writeConfig(settings, progress);
    } catch (const ConfigWriteError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        violated("writing to the scratch directory failed");
    }
    if (!progress.completed())
        violated("writeConfig returned without fileWritten");

    // The safe replacement must leave nothing of its own behind.
    const QStringList left =
        QDir(scratchDir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (left != QStringList{QStringLiteral("bot.conf")})
        violated("the scratch directory holds other files than the output", left.size());

    checkFile(progress.fileAtReport(), settings);
    return 0;
}
