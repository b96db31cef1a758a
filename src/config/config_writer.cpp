#include "config/config_writer.h"

#include "config/version.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <cerrno>
#include <string_view>

#ifdef Q_OS_UNIX
#include <fcntl.h>
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

// Texts longer than this bypass the stage buffer and are encoded slice by slice, so that a huge
// scripts text is never copied whole.
constexpr qsizetype directWriteThreshold = 64 * 1024;

QString reasonFromErrno(int savedErrno) {
    return qt_error_string(savedErrno);
}

#ifdef Q_OS_UNIX
// The data must be on disk before the new file replaces the old one; QSaveFile ignores a failed
// sync. Returns 0 or the errno of a real failure (file systems without sync support pass).
int syncFile(int fd) {
    if (::fsync(fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP)
        return 0;
    return errno;
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

} // namespace

ConfigWriteError::ConfigWriteError(const QString& fileName, const QString& reason,
                                   bool earlierFileKept)
    : std::runtime_error(
          QStringLiteral("Could not write \"%1\": %2").arg(fileName, reason).toStdString()),
      fileName_(fileName), reason_(reason), earlierFileKept_(earlierFileKept) {}

void ConfigWriter::writeConfig(const BotSettings& settings, WriteProgress& progress) {
    const QString& name = settings.outputFileName;
    if (name.isEmpty())
        throw ConfigWriteError(name, QStringLiteral("No file name was given"));
    // QSaveFile renames by the name it was given, so pin a relative name to the current
    // directory now.
    path_ = QDir::current().absoluteFilePath(name);
    checkTarget();

    QSaveFile file(path_);
    file_ = &file;
    pending_.clear();
    struct Reset {
        ConfigWriter* writer;
        ~Reset() {
            writer->file_ = nullptr;
            writer->pending_ = QString();
        }
    } reset{this};

    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        failToOpen(errno);
#ifdef Q_OS_UNIX
    if (earlierFile_)
        keepOwner(file.handle(), path_);
#endif

    writeCoreSections(settings, progress);
    writeModuleSections(settings, progress);

#ifdef Q_OS_UNIX
    if (const int err = syncFile(file.handle()); err != 0)
        fail(err);
#endif
    errno = 0;
    if (!file.commit())
        fail(errno);
#ifdef Q_OS_UNIX
    syncDirectory(path_);
#endif
    progress.fileWritten();
}

void ConfigWriter::writeCoreSections(const BotSettings& s, WriteProgress& progress) {
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

void ConfigWriter::writeModuleSections(const BotSettings& s, WriteProgress& progress) {
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

void ConfigWriter::writeLine(const QString& text) {
    if (text.size() < directWriteThreshold) {
        pending_ += text;
        pending_ += QLatin1String("\r\n");
        return;
    }
    flushPending();
    // Same conversion as toLocal8Bit(); the encoder keeps state, so a surrogate pair split
    // between two slices is still encoded as one character.
    QStringEncoder encoder(QStringEncoder::System);
    const QStringView view(text);
    for (qsizetype pos = 0; pos < view.size(); pos += directWriteThreshold)
        writeBytes(encoder.encode(view.mid(pos, directWriteThreshold)));
    writeBytes(QByteArrayLiteral("\r\n"));
}

void ConfigWriter::writeBlankLine() {
    pending_ += QLatin1String("\r\n");
}

QString ConfigWriter::quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// An empty entry is a blank line.
void ConfigWriter::writeLines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        pending_ += QLatin1String(line);
        pending_ += QLatin1String("\r\n");
    }
}

void ConfigWriter::endStage(WriteStage stage, WriteProgress& progress) {
    flushPending();
    errno = 0;
    if (!file_->flush())
        fail(errno);
    progress.stageWritten(stage);
}

void ConfigWriter::flushPending() {
    if (pending_.isEmpty())
        return;
    writeBytes(pending_.toLocal8Bit());
    pending_.clear();
}

void ConfigWriter::writeBytes(const QByteArray& bytes) {
    errno = 0;
    if (file_->write(bytes) != bytes.size())
        fail(errno);
}

// Only a regular file is ever replaced, symbolic links followed. Nothing is opened to find out:
// opening a pipe would wait for a reader.
void ConfigWriter::checkTarget() {
    earlierFile_ = false;
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
void ConfigWriter::failToOpen(int savedErrno) {
#ifdef Q_OS_UNIX
    if (earlierFile_ && ::access(QFile::encodeName(path_).constData(), W_OK) != 0)
        fail(errno);
    // Beside the file a symbolic link leads to, where there is one.
    const QString target = earlierFile_ ? QFileInfo(path_).canonicalFilePath() : path_;
    const QString folder = QFileInfo(target.isEmpty() ? path_ : target).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0 &&
        (errno == EACCES || errno == EPERM || errno == EROFS)) {
        throw ConfigWriteError(
            path_,
            QStringLiteral("The folder \"%1\" does not allow a new file in it: %2. The file is "
                           "replaced only by a complete new one made in the same folder, so "
                           "that a failed write never leaves it damaged.")
                .arg(folder, reasonFromErrno(errno)),
            earlierFile_);
    }
#endif
    fail(savedErrno);
}

void ConfigWriter::fail(int savedErrno) {
    QString reason = savedErrno != 0 ? reasonFromErrno(savedErrno) : file_->errorString();
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        reason = QStringLiteral("The data could not be written");
    file_->cancelWriting(); // the destructor then removes the temporary file
    throw ConfigWriteError(path_, reason, earlierFile_);
}

} // namespace quorvel
