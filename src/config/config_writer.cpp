#include "config/config_writer.h"

#include "config/replacement_file.h"
#include "config/version.h"

#include <QByteArray>
#include <QDir>
#include <QStringEncoder>

#include <initializer_list>
#include <string_view>

namespace quorvel {

namespace {

constexpr std::string_view banner[] = {
    "###########################################################",
    "##                    Quorvel v.1.1                      ##",
    "##           --------------------------------            ##",
    "##           written by the Quorvel team                 ##",
    "##           mail: quorvel@example.org                   ##",
    "##           web: https://quorvel.example.org            ##",
    "##           irc: #quorvel on IRCnet                     ##",
    "############################################ Quorvel 1.1 ##",
};

consteval bool bannerFramed() {
    for (std::string_view line : banner) {
        if (line.size() != 59 || !line.starts_with("##") || !line.ends_with("##"))
            return false;
    }
    return true;
}
static_assert(bannerFramed(), "every banner line is 59 characters framed by ##");

// The banner names the version twice: "Quorvel v.<version>" and "Quorvel <version> ##".
consteval bool bannerNamesVersion() {
    const std::string_view title = banner[1].substr(banner[1].find("v.") + 2);
    const std::string_view footer = banner[7].substr(banner[7].rfind("Quorvel ") + 8);
    return title.starts_with(version) && title.substr(version.size()).starts_with(" ") &&
           footer.starts_with(version) && footer.substr(version.size()) == " ##";
}
static_assert(bannerNamesVersion(), "the banner names the project's version");

// A long text (the scripts) is encoded and written this many characters at a time, so that it
// is never held whole a second time: at most 3 bytes each, under 400 KiB of buffer.
constexpr qsizetype encodeSlice = 128 * 1024;

// One write in progress: the new file beside the target, and the encoded lines not yet handed to
// it. Exists only inside ConfigWriter::writeConfig; the new file goes with it unless committed.
class ConfigFile {
public:
    explicit ConfigFile(const QString& name);

    // Creates the new file beside the target.
    void open() { file_.open(); }
    void writeCoreSections(const BotSettings& s, WriteProgress& progress);
    void writeModuleSections(const BotSettings& s, WriteProgress& progress);
    // Puts the complete file in place of the target.
    void commit();

private:
    void writeLine(QStringView text);
    void writeBlankLine();
    // An empty entry is a blank line.
    void writeLines(std::initializer_list<const char*> lines);
    void endStage(WriteStage stage, WriteProgress& progress);
    void writePending();

    ReplacementFile file_;
    // The system's 8-bit encoding. One encoder for the whole file, so that a character split
    // between two slices of a long text is still encoded as one.
    QStringEncoder encoder_{QStringEncoder::System};
    QByteArray pending_; // encoded lines not yet written
};

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// The new file replaces the old one by its name, so a relative name is pinned to the current
// directory now.
ConfigFile::ConfigFile(const QString& name) : file_(QDir::current().absoluteFilePath(name)) {}

void ConfigFile::commit() {
    writePending();
    file_.commit();
}

void ConfigFile::writeLine(QStringView text) {
    // The line break goes through the encoder too, which then holds no half of a character.
    for (; text.size() > encodeSlice; text = text.sliced(encodeSlice)) {
        pending_ += encoder_.encode(text.first(encodeSlice));
        writePending();
    }
    pending_ += encoder_.encode(text);
    pending_ += encoder_.encode(u"\r\n");
}

void ConfigFile::writeBlankLine() {
    pending_.append("\r\n", 2);
}

// The fixed lines are ASCII, the same in every 8-bit encoding.
void ConfigFile::writeLines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        pending_.append(line);
        pending_.append("\r\n", 2);
    }
}

void ConfigFile::endStage(WriteStage stage, WriteProgress& progress) {
    writePending();
    progress.stageWritten(stage);
}

void ConfigFile::writePending() {
    file_.write(pending_);
    // Released rather than emptied: the next slice's bytes then become pending_ without a copy.
    pending_.clear();
}

} // namespace

ConfigWriteError::ConfigWriteError(const QString& fileName, const QString& reason,
                                   bool earlierFileKept)
    : std::runtime_error(
          QStringLiteral("Could not write \"%1\": %2").arg(fileName, reason).toStdString()),
      fileName_(fileName), reason_(reason), earlierFileKept_(earlierFileKept) {}

void ConfigWriter::writeConfig(const BotSettings& settings, WriteProgress& progress) {
    if (settings.outputFileName.isEmpty())
        throw ConfigWriteError(QString(), QStringLiteral("No file name was given"));
    ConfigFile file(settings.outputFileName);
    file.open();
    file.writeCoreSections(settings, progress);
    file.writeModuleSections(settings, progress);
    file.commit();
    progress.fileWritten();
}

void ConfigFile::writeCoreSections(const BotSettings& s, WriteProgress& progress) {
    writeLine(QStringLiteral("#! ") + s.eggPath);
    writeBlankLine();
    for (std::string_view line : banner)
        writeLine(QString::fromLatin1(line.data(), qsizetype(line.size())));
    writeBlankLine();
    writeBlankLine();

    writeLines({"##### GENERAL STUFF #####", ""});
    writeLine(QStringLiteral("set username ") + quoted(s.username));
    writeLine(QStringLiteral("set admin ") + quoted(s.admin));
    writeLine(QStringLiteral("set timezone \"EST\""));
    writeLine(QStringLiteral("set network ") + quoted(s.network));
    if (s.useMyHostname)
        writeLine(QStringLiteral("set my-hostname ") + quoted(s.myHostname));
    if (s.useMyIp)
        writeLine(QStringLiteral("set my-ip ") + quoted(s.myIp));
    writeLines({"addlang \"english\"", ""});

    writeLines({"##### LOG FILES #####", "", "set max-logs 5", "set max-logsize 0",
                "set quick-logs 0", ""});
    writeLine(QStringLiteral("logfile mco * ") + quoted(s.channel + QStringLiteral(".prv")));
    writeLine(QStringLiteral("logfile jk #") + s.channel + QLatin1Char(' ') +
              quoted(s.channel + QStringLiteral(".act")));
    writeLines({"", "set log-time 1", "set keep-all-logs 0", "set switch-logfiles-at 300",
                "set quiet-save 0", "set console \"mkcobxs\"", ""});
    endStage(WriteStage::GeneralStuff, progress);

    writeLines({"##### FILES AND DIRECTORIES #####", ""});
    writeLine(QStringLiteral("set userfile ") + quoted(s.botName + QStringLiteral(".usr")));
    writeLine(QStringLiteral("set sort-users 1"));
    writeLine(QStringLiteral("set help-path ") + quoted(s.eggPath + QStringLiteral("/help/")));
    writeLines(
        {"set temp-path \"/tmp\"", "set motd \"motd\"", "set telnet-banner \"telnet-banner\"", ""});

    writeLines({"##### BOTNET #####", ""});
    writeLine(QStringLiteral("set botnet-nick ") + quoted(s.botName));
    writeLine(QStringLiteral("listen ") + s.telnetPort + QStringLiteral(" all"));
    writeLines({"set protect-telnet 1", "set dcc-sanitycheck 1", "set ident-timeout 30",
                "set require-p 1", "set open-telnets 0", "set stealth-telnets 1",
                "set use-telnet-banner 0", "set connect-timeout 30", "set dcc-flood-thr 3",
                "set telnet-flood 5:60", "set paranoid-telnet-flood 1", "set resolve-timeout 30",
                ""});
    endStage(WriteStage::BotInfo, progress);

    writeLines(
        {"##### MORE ADVANCED STUFF #####", "", "set ignore-time 15", "set hourly-updates 00"});
    writeLine(QStringLiteral("set owner ") + quoted(s.username));
    writeLines({"set notify-newusers \"$owner\"", "set default-flags \"\""});
    writeLine(QStringLiteral("set whois-fields ") + quoted(s.whoisInfo));
    writeLines({"set remote-boots 1", "set share-unlinks 0", "set die-on-sighup 0",
                "set die-on-sigterm 0", "unbind dcc n tcl *dcc:tcl", "unbind dcc n set *dcc:set",
                "set must-be-owner 1", "unbind dcc n simul *dcc:simul", "set max-dcc 50",
                "set dcc-portrange 1024:65535", "set enable-simul 1", "set allow-dk-cmds 0", ""});

    writeLines({"########## MODULES ##########", ""});
    writeLine(QStringLiteral("set mod-path ") + quoted(s.eggPath + QStringLiteral("/modules/")));
    writeBlankLine();
}

void ConfigFile::writeModuleSections(const BotSettings& s, WriteProgress& progress) {
    writeLines({"##### CHANNELS MODULE #####", "", "loadmodule channels"});
    writeLine(QStringLiteral("set chanfile ") + quoted(s.botName + QStringLiteral(".chn")));
    writeLines({"set ban-time 1440", "set exempt-time 60", "set invite-time 60",
                "set force-expire 1", "set share-greet 1", "set use-info 1",
                "set global-flood-chan 10:60", "set global-flood-deop 3:10",
                "set global-flood-kick 3:10", "set global-flood-join 5:60",
                "set global-flood-ctcp 3:60", "", "set global-chanset {"});
    for (std::size_t k = 0; k < channelFlagCount; ++k) {
        writeLine((s.channelFlags[k] ? QStringLiteral("     +") : QStringLiteral("     -")) +
                  QLatin1String(channelFlagTable[k].name));
    }
    writeLines({"}", ""});
    endStage(WriteStage::ChannelSettings, progress);

    writeLines({"##### SERVER MODULE #####", "", "loadmodule server", "set net-type 1"});
    writeLine(QStringLiteral("set nick ") + quoted(s.nick));
    writeLine(QStringLiteral("set altnick ") + quoted(s.altNick));
    writeLine(QStringLiteral("set realname ") + quoted(s.whoisInfo));
    writeLines({"set init-server { putserv \"MODE $botnick +i-ws\" }", "set servers {"});
    writeLine(QStringLiteral("  ") + s.server1);
    if (s.useServer2)
        writeLine(QStringLiteral("  ") + s.server2);
    if (s.useServer3)
        writeLine(QStringLiteral("  ") + s.server3);
    writeLines({"}",
                "set keep-nick 1",
                "set use-ison 1",
                "set strict-host 1",
                "set quiet-reject 1",
                "set lowercase-ctcp 0",
                "set answer-ctcp 3",
                "set flood-msg 5:60",
                "set flood-ctcp 3:60",
                "set never-give-up 1",
                "set strict-servernames 0",
                "set default-port 6667",
                "set server-cycle-wait 60",
                "set server-timeout 30",
                "set servlimit 0",
                "set check-stoned 1",
                "set use-console-r 0",
                "set debug-output 0",
                "set serverror-quit 1",
                "set max-queue-msg 300",
                "set trigger-on-ignore 0",
                "set double-mode 0",
                "set double-server 0",
                "set double-help 0",
                ""});
    endStage(WriteStage::Servers, progress);

    writeLines({"##### CTCP MODULE #####", "", "loadmodule ctcp", "set ctcp-version \"\"",
                "set ctcp-userinfo \"\"", "set ctcp-finger \"\"", "set ctcp-mode 0", ""});
    writeLines({"##### IRC MODULE #####",
                "",
                "loadmodule irc",
                "set bounce-bans 1",
                "set bounce-modes 0",
                "set kick-bogus-bans 1",
                "set bounce-bogus-bans 1",
                "set max-bans 50",
                "set max-modes 30",
                "set allow-desync 0",
                "set kick-bogus 1",
                "set ban-bogus 1",
                "set kick-fun 0",
                "set ban-fun 0",
                "set learn-users 0",
                "set wait-split 600",
                "set wait-info 180",
                "set mode-buf-length 200",
                "unbind msg - hello *msg:hello",
                "unbind msg - ident *msg:ident",
                "unbind msg - addhost *msg:addhost",
                "set no-chanrec-info 0",
                "set revenge-mode 2",
                ""});
    writeLines({"##### IRC MODULE - net-type 1 specific features (IRCnet) #####", "",
                "set bounce-exempts 1", "set bounce-invites 1", "set max-exempts 20",
                "set max-invites 20", "set bounce-bogus-exempts 1", "set kick-bogus-exempts 1",
                "set bounce-bogus-invites 1", "set kick-bogus-invites 1", "set use-exempts 1",
                "set use-invites 1", "set prevent-mixing 1", ""});
    writeLines({"##### SHARE MODULE #####", "", "loadmodule share", "set allow-resync 0",
                "set resync-time 900", "set private-owner 0", "set private-global 0",
                "set private-globals \"\"", ""});
    writeLines({"##### NOTES MODULE #####", "", "loadmodule notes"});
    writeLine(QStringLiteral("set notefile ") + quoted(s.botName + QStringLiteral(".not")));
    writeLines({"set max-notes 50", "set note-life 60", "set allow-fwd 0", "set notify-users 1",
                "set notify-onjoin 1", ""});
    writeLines({"##### CONSOLE MODULE #####", "", "loadmodule console", "set console-autosave 1",
                "set force-channel 0", "set info-party 0", ""});
    writeLines({"##### BLOWFISH MODULE #####", "", "checkmodule blowfish", ""});
    writeLines({"##### SCRIPTS #####", ""});
    // The scripts text is one unit, written as it stands with its own line breaks.
    writeLine(s.scripts);
    endStage(WriteStage::Scripts, progress);
}

} // namespace quorvel
