#include "config/config_writer.h"

#include "config/version.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <cerrno>
#include <initializer_list>
#include <string_view>

#ifdef Q_OS_UNIX
#include <fcntl.h> // also sync_file_range on Linux
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// Encoded bytes are handed to the file once this many are waiting, so that a huge scripts text is
// written in a few large pieces and never held whole a second time.
constexpr qsizetype writeChunk = 256 * 1024;
// Characters encoded at a time: at most 3 bytes each, so a slice adds under 200 KiB to the buffer.
constexpr qsizetype encodeSlice = 64 * 1024;
// Bytes after which the disk is asked to start writing (Linux).
constexpr qint64 writebackHint = 2 * 1024 * 1024;

QString reasonFromErrno(int savedErrno) {
    return qt_error_string(savedErrno);
}

#ifdef Q_OS_UNIX
// The data must be on disk before the new file replaces the old one; QSaveFile ignores a failed
// sync. Returns 0 or the errno of a real failure (file systems without sync support pass).
int syncFile(int fd) {
    if (::fsync(fd) == 0)
        return 0;
    const int err = errno;
    return err == EINVAL || err == EROFS || err == ENOTSUP ? 0 : err;
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

// The new file takes the old one's owner and group as it takes its permissions, so that a bot's
// file replaced by root stays readable to the bot. Who may not give a file away keeps it; the
// group alone may still be allowed.
void keepOwner(int fd, const QString& oldPath) {
    struct stat old = {};
    struct stat now = {};
    if (::stat(QFile::encodeName(oldPath).constData(), &old) != 0 || ::fstat(fd, &now) != 0)
        return;
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid)
        return;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && now.st_gid != old.st_gid)
        (void)::fchown(fd, uid_t(-1), old.st_gid);
}

// Makes the rename itself durable. Failure here cannot undo a replaced file, so it is not
// reported.
void syncDirectory(const QString& filePath) {
    const QByteArray dir = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

// One write in progress: the new file beside the target, and the encoded lines not yet handed to
// it. Exists only inside ConfigWriter::writeConfig.
class ConfigFile {
public:
    explicit ConfigFile(const QString& name);

    void writeCoreSections(const BotSettings& s, WriteProgress& progress);
    void writeModuleSections(const BotSettings& s, WriteProgress& progress);
    // Puts the complete file in place of the target.
    void commit();

private:
    void writeLine(const QString& text);
    void writeBlankLine();
    // An empty entry is a blank line.
    void writeLines(std::initializer_list<const char*> lines);
    void endStage(WriteStage stage, WriteProgress& progress);
    void writePending();
    void checkTarget();
    [[noreturn]] void failToOpen();
    [[noreturn]] void fail(const QString& reason);

    QString path_;
    bool earlierFile_ = false; // a regular file of that name was there before
    QSaveFile file_;
    // The system's 8-bit encoding. One encoder for the whole file, so that a character split
    // between two slices of a long text is still encoded as one.
    QStringEncoder encoder_{QStringEncoder::System};
    QByteArray pending_; // encoded lines not yet written
#ifdef Q_OS_LINUX
    qint64 hinted_ = 0; // bytes the disk was asked to start on
#endif
};

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// QSaveFile renames by the name it was given, so a relative name is pinned to the current
// directory now.
ConfigFile::ConfigFile(const QString& name)
    : path_(QDir::current().absoluteFilePath(name)), file_(path_) {
    checkTarget();
    // Unbuffered: the stage buffer is the only one, and each write reaches the file at once.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failToOpen();
#ifdef Q_OS_UNIX
    if (earlierFile_)
        keepOwner(file_.handle(), path_);
#endif
}

void ConfigFile::commit() {
    writePending();
#ifdef Q_OS_UNIX
    if (const int err = syncFile(file_.handle()); err != 0)
        fail(reasonFromErrno(err));
#endif
    if (!file_.commit())
        fail(file_.errorString());
#ifdef Q_OS_UNIX
    syncDirectory(path_);
#endif
}

void ConfigFile::writeLine(const QString& text) {
    // The line break goes through the encoder too, which then holds no half of a character.
    const QStringView view(text);
    for (qsizetype pos = 0;; pos += encodeSlice) {
        const QStringView slice = view.mid(pos, encodeSlice);
        const bool last = pos + encodeSlice >= view.size();
        const qsizetype size = pending_.size();
        pending_.resize(size + encoder_.requiredSpace(slice.size() + 2));
        char* end = encoder_.appendToBuffer(pending_.data() + size, slice);
        if (last)
            end = encoder_.appendToBuffer(end, u"\r\n");
        pending_.truncate(end - pending_.constData());
        if (last)
            break;
        if (pending_.size() >= writeChunk)
            writePending();
    }
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
    if (pending_.isEmpty())
        return;
    // A write cut short reports its reason only when asked for the rest.
    const char* data = pending_.constData();
    for (qint64 left = pending_.size(); left > 0;) {
        const qint64 written = file_.write(data, left);
        if (written <= 0)
            fail(file_.errorString());
        data += written;
        left -= written;
    }
#ifdef Q_OS_LINUX
    // Starts the disk on these bytes now rather than at the final sync, so that writing them
    // overlaps encoding the rest. Only a hint: the final sync still decides.
    if (const qint64 inFile = file_.pos(); inFile - hinted_ >= writebackHint) {
        ::sync_file_range(file_.handle(), hinted_, inFile - hinted_, SYNC_FILE_RANGE_WRITE);
        hinted_ = inFile;
    }
#endif
    pending_.truncate(0);
}

// Only a regular file is ever replaced, symbolic links followed. Nothing is opened to find out:
// opening a pipe would wait for a reader.
void ConfigFile::checkTarget() {
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0)
        return; // nothing there yet, or nothing the write could change
    if (S_ISDIR(st.st_mode))
        throw ConfigWriteError(path_, reasonFromErrno(EISDIR));
    if (!S_ISREG(st.st_mode))
        throw ConfigWriteError(path_, notAFileReason(st.st_mode));
    earlierFile_ = true;
#else
    const QFileInfo target(path_);
    if (target.isDir())
        throw ConfigWriteError(path_, reasonFromErrno(EISDIR));
    if (target.exists() && !target.isFile())
        throw ConfigWriteError(path_, QStringLiteral("It is not a regular file"));
    earlierFile_ = target.exists();
#endif
}

// The new file is made beside the old one. Where the folder refuses that, the folder is what
// refused, however writable the old file: writing into it in place could leave it half written.
void ConfigFile::failToOpen() {
#ifdef Q_OS_UNIX
    if (earlierFile_ && ::access(QFile::encodeName(path_).constData(), W_OK) != 0)
        fail(reasonFromErrno(errno));
    // Beside the file a symbolic link leads to, where there is one.
    const QString target = earlierFile_ ? QFileInfo(path_).canonicalFilePath() : path_;
    const QString folder = QFileInfo(target.isEmpty() ? path_ : target).absolutePath();
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
#endif
    fail(file_.errorString());
}

void ConfigFile::fail(const QString& reason) {
    // The unfinished file goes with file_, which is never committed.
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
