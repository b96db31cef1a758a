#include "config/config_writer.h"

#include "config/file_calls.h"
#include "config/version.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <cerrno>
#include <initializer_list>
#include <string_view>
#include <utility>

#include <fcntl.h> // also sync_file_range on Linux
#include <sys/stat.h>
#include <unistd.h>

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
// Bytes after which the disk is asked to start writing (Linux).
constexpr qint64 writebackHint = 2 * 1024 * 1024;

QString reasonFromErrno(int savedErrno) {
    return qt_error_string(savedErrno);
}

// File systems without sync support pass: there is nothing more to wait for.
bool syncFailed(int result) {
    return result != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP;
}

// Says what a name stands for that a plain file must not replace.
QString notAFileReason(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("It is a device, not a regular file");
    if (S_ISFIFO(mode))
        return QStringLiteral("It is a named pipe (FIFO), not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("It is a socket, not a regular file");
    return QStringLiteral("It is not a regular file");
}

// One write in progress: the new file beside the target, and the encoded lines not yet handed to
// it. Exists only inside ConfigWriter::writeConfig; the new file goes with it unless committed.
class ConfigFile {
public:
    explicit ConfigFile(const QString& name);
    ~ConfigFile();
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

    // Creates the new file beside the target.
    void open();
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
    void checkTarget();
    void keepOwnerAndPermissions();
    [[noreturn]] void failToOpen(int err);
    [[noreturn]] void fail(const QString& reason);

    QString path_;
    bool earlierFile_ = false; // a regular file of that name was there before
    struct stat earlier_ = {};
    QByteArray target_; // the name replaced: where a symbolic link leads, if it is one
    QByteArray newName_;
    int fd_ = -1;
    bool committed_ = false;
    // The system's 8-bit encoding. One encoder for the whole file, so that a character split
    // between two slices of a long text is still encoded as one.
    QStringEncoder encoder_{QStringEncoder::System};
    QByteArray pending_; // encoded lines not yet written
    qint64 written_ = 0;
#ifdef Q_OS_LINUX
    qint64 hinted_ = 0; // bytes the disk was asked to start on
#endif
};

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// The rename replaces by the name, so a relative name is pinned to the current directory now.
ConfigFile::ConfigFile(const QString& name) : path_(QDir::current().absoluteFilePath(name)) {}

ConfigFile::~ConfigFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !newName_.isEmpty())
        ::unlink(newName_.constData());
}

void ConfigFile::open() {
    checkTarget();
    // Who may not write the old file may not replace it either.
    if (earlierFile_ && ::access(QFile::encodeName(path_).constData(), W_OK) != 0)
        fail(reasonFromErrno(errno));
    const QString canonical = earlierFile_ ? QFileInfo(path_).canonicalFilePath() : QString();
    const QFileInfo target(canonical.isEmpty() ? path_ : canonical);
    target_ = QFile::encodeName(target.filePath());
    // Hidden, beside the target, so that the rename never crosses file systems.
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName();
    for (int attempt = 0; fd_ < 0; ++attempt) {
        newName_ = QFile::encodeName(stem + QLatin1Char('.') +
                                     QString::number(QRandomGenerator::global()->generate(), 36));
        fd_ = ::open(newName_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
            const int err = errno;
            newName_.clear();
            failToOpen(err);
        }
    }
    if (earlierFile_)
        keepOwnerAndPermissions();
}

// The new file takes the old one's owner, group and permissions, so that a bot's file replaced
// by root stays readable to the bot. Who may not give a file away keeps it; the group alone may
// still be allowed.
void ConfigFile::keepOwnerAndPermissions() {
    struct stat now = {};
    if (::fstat(fd_, &now) != 0)
        fail(reasonFromErrno(errno));
    if (now.st_uid != earlier_.st_uid || now.st_gid != earlier_.st_gid) {
        if (fileCalls.fchown(fd_, earlier_.st_uid, earlier_.st_gid) != 0) {
            if (errno != EPERM)
                fail(reasonFromErrno(errno));
            if (now.st_gid != earlier_.st_gid &&
                fileCalls.fchown(fd_, uid_t(-1), earlier_.st_gid) != 0 && errno != EPERM)
                fail(reasonFromErrno(errno));
        }
    }
    // After the owner, whose change clears the set-user-ID and set-group-ID bits.
    if (::fchmod(fd_, earlier_.st_mode & 07777) != 0)
        fail(reasonFromErrno(errno));
}

void ConfigFile::commit() {
    writePending();
    // The data must be on disk before the new file replaces the old one.
    if (syncFailed(fileCalls.fsync(fd_)))
        fail(reasonFromErrno(errno));
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0)
        fail(reasonFromErrno(errno));
    if (fileCalls.rename(newName_.constData(), target_.constData()) != 0)
        fail(reasonFromErrno(errno));
    committed_ = true;
    // Makes the rename itself durable. The old file is gone by now: say that the new one is
    // there, but may not survive a crash.
    const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(target_)).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return; // a folder that cannot be read cannot be synced either
    const bool failed = syncFailed(fileCalls.fsyncDirectory(dirFd));
    const int err = errno;
    ::close(dirFd);
    if (failed) {
        throw ConfigWriteError(
            path_, QStringLiteral("The new file is in place, but the folder holding it could not "
                                  "be saved to disk, so after a crash the file may be lost: %1")
                       .arg(reasonFromErrno(err)));
    }
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
    // A write cut short reports its reason only when asked for the rest.
    for (qsizetype done = 0; done < pending_.size();) {
        const ssize_t n = ::write(fd_, pending_.constData() + done, size_t(pending_.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            fail(n == 0 ? QString() : reasonFromErrno(errno));
    }
    written_ += pending_.size();
    // Released rather than emptied: the next slice's bytes then become pending_ without a copy.
    pending_.clear();
#ifdef Q_OS_LINUX
    // Starts the disk on these bytes now rather than at the final sync, so that writing them
    // overlaps encoding the rest. Only a hint: the final sync still decides. Kept for
    // writeLargeScripts on an idle machine: subject/floor 1.37x to 1.44x without it, 0.92x to
    // 1.07x with it.
    if (written_ - hinted_ >= writebackHint) {
        ::sync_file_range(fd_, hinted_, written_ - hinted_, SYNC_FILE_RANGE_WRITE);
        hinted_ = written_;
    }
#endif
}

// Only a regular file is ever replaced, symbolic links followed. Nothing is opened to find out:
// opening a pipe would wait for a reader.
void ConfigFile::checkTarget() {
    if (::stat(QFile::encodeName(path_).constData(), &earlier_) != 0)
        return; // nothing there yet, or nothing the write could change
    if (S_ISDIR(earlier_.st_mode))
        throw ConfigWriteError(path_, reasonFromErrno(EISDIR));
    if (!S_ISREG(earlier_.st_mode))
        throw ConfigWriteError(path_, notAFileReason(earlier_.st_mode));
    earlierFile_ = true;
}

// The new file is made beside the old one. Where the folder refuses that, the folder is what
// refused, however writable the old file: writing into it in place could leave it half written.
void ConfigFile::failToOpen(int err) {
    const QString folder = QFileInfo(QFile::decodeName(target_)).absolutePath();
    const int folderErrno =
        ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0 ? 0 : errno;
    if (folderErrno == EACCES || folderErrno == EPERM || folderErrno == EROFS) {
        throw ConfigWriteError(
            path_,
            QStringLiteral("The folder \"%1\" does not allow a new file in it: %2. The file is "
                           "replaced only by a complete new one made in the same folder, so "
                           "that a failed write never leaves it damaged.")
                .arg(folder, reasonFromErrno(folderErrno)),
            earlierFile_);
    }
    fail(reasonFromErrno(err));
}

void ConfigFile::fail(const QString& reason) {
    // The unfinished file goes with this object, which is never committed.
    throw ConfigWriteError(
        path_, reason.isEmpty() ? QStringLiteral("The data could not be written") : reason,
        earlierFile_);
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
