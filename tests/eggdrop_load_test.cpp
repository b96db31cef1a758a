// Runs the real bot (Debian's eggdrop: 1.8.4 on Debian 12, 1.10 later) on files from the real
// writer and checks what it does, not how it words it: it listens on the file's telnet port,
// answers on its party line, has every module the file names and reports no Tcl error.

#include "config/config_writer.h"

#include "test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace quorvel {
namespace {

// Debian splits the install: the modules live under /usr/lib, the help files under /usr/share.
// The test gives the bot an egg path whose "modules" and "help" point at those two.
const QString kDebianModules = QStringLiteral("/usr/lib/eggdrop/modules");
const QString kDebianHelp = QStringLiteral("/usr/share/eggdrop/help");

// The bot stops by itself at the end of its standard input; this only bounds a hang.
constexpr int kBotTimeoutMs = 10000;

constexpr std::uint32_t kRandomStart = 20261207u;
constexpr int kRandomRecords = 36;

// The modules the file loads, as the bot names them: blowfish calls itself "encryption".
const char* const kModules[] = {"channels", "server", "ctcp",    "irc",
                                "share",    "notes",  "console", "encryption"};

// Lines put in front of the scripts text, where every module line has run: the bot itself says
// which modules it has and what it calls itself, in words of our own.
const QString kProbe =
    QStringLiteral("putlog \"probe modules: [lsort [lmap m [modules] {lindex $m 0}]]\"\r\n"
                   "putlog \"probe botnet-nick: ${botnet-nick}\"\r\n");

// What eggdrop prints when a line of the file fails or a module is missing.
const char* const kErrorMarkers[] = {
    "Tcl error",  "CONFIG FILE NOT LOADED", "can't read", "invalid command name",
    "Can't load", "while executing",        "bad type",   "No help available",
};

// A TCP port nobody listens on right now; the kernel picks it.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// Whether something accepts TCP connections on the port at loopback.
bool acceptsConnections(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return accepted;
}

struct BotRun {
    int telnetPort = 0;
    QString output;
    bool listening = false;
    bool endedByItself = false;
};

class EggdropLoadTest : public ::testing::Test {
protected:
    std::optional<QTemporaryDir> dir;
    QString eggdrop;
    QString eggPath;
    QString serverPort;
    bool asNobody = false;
    uid_t nobodyUid = 0;
    gid_t nobodyGid = 0;

    void SetUp() override {
        eggdrop = QStandardPaths::findExecutable(QStringLiteral("eggdrop"));
        ASSERT_FALSE(eggdrop.isEmpty())
            << "eggdrop is not installed; tools/install-deps installs it";
        ASSERT_TRUE(QFileInfo(kDebianModules + "/channels.so").exists());
        ASSERT_TRUE(QFileInfo(kDebianHelp + "/core.help").exists());

        // Eggdrop will not run as root, so root hands it to "nobody", which must be able to
        // reach and write the scratch directory; /tmp is open to everyone.
        asNobody = ::geteuid() == 0;
        if (asNobody) {
            const passwd* pw = ::getpwnam("nobody");
            ASSERT_NE(pw, nullptr) << "no user 'nobody' to run eggdrop as";
            nobodyUid = pw->pw_uid;
            nobodyGid = pw->pw_gid;
            dir.emplace(QStringLiteral("/tmp/quorvel-eggdrop-XXXXXX"));
        } else {
            dir.emplace();
        }
        ASSERT_TRUE(dir->isValid());
        if (asNobody) {
            ASSERT_EQ(::chown(QFile::encodeName(dir->path()).constData(), nobodyUid, nobodyGid), 0);
        }

        eggPath = dir->filePath(QStringLiteral("egg"));
        ASSERT_TRUE(QDir().mkpath(eggPath));
        // Whatever the umask, the bot's user must be able to pass through.
        ASSERT_TRUE(QFile::setPermissions(eggPath, QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadOther |
                                                       QFile::ExeOther));
        ASSERT_TRUE(QFile::link(kDebianModules, eggPath + "/modules"));
        ASSERT_TRUE(QFile::link(kDebianHelp, eggPath + "/help"));

        // Nothing listens there, so the bot could never reach a real network.
        const int port = freePort();
        ASSERT_NE(port, 0);
        serverPort = QString::number(port);
    }

    // Defaults, except what a bot in a scratch directory needs to load: the egg path, servers at
    // loopback, no script files (a fresh install has none of the default ones) and a free port.
    BotSettings loadableDefaults() const {
        BotSettings settings;
        settings.eggPath = eggPath;
        settings.server1 = "127.0.0.1:" + serverPort;
        settings.server2 = QStringLiteral("127.0.0.1");
        settings.server3 = QStringLiteral("localhost");
        settings.scripts.clear();
        return settings;
    }

    BotRun runBot(BotSettings settings) {
        BotRun run;
        run.telnetPort = freePort();
        EXPECT_NE(run.telnetPort, 0);
        settings.telnetPort = QString::number(run.telnetPort);
        settings.outputFileName = dir->filePath(QStringLiteral("bot.conf"));

        settings.scripts.prepend(kProbe);
        test::RecordingProgress progress;
        ConfigWriter().writeConfig(settings, progress);
        EXPECT_EQ(progress.events, test::completeWrite);
        EXPECT_TRUE(
            QFile::setPermissions(settings.outputFileName,
                                  QFile::permissions(settings.outputFileName) | QFile::ReadOther));

        // Each run starts without the files an earlier one left behind.
        for (const QString& name :
             QDir(dir->path()).entryList({"*.chn", "*.usr", "*.not", "*.prv", "*.act"}))
            QFile::remove(dir->filePath(name));

        QStringList args{QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("-m"),
                         QStringLiteral("bot.conf")};
        QString program = eggdrop;
        if (asNobody) {
            args.prepend(eggdrop);
            args.prepend(QStringLiteral("--clear-groups"));
            args.prepend(QStringLiteral("--regid=%1").arg(nobodyGid));
            args.prepend(QStringLiteral("--reuid=%1").arg(nobodyUid));
            program = QStringLiteral("setpriv");
        }

        QProcess bot;
        bot.setWorkingDirectory(dir->path());
        bot.setProcessChannelMode(QProcess::MergedChannels);
        bot.start(program, args);
        if (!bot.waitForStarted()) {
            run.output = "could not start " + program + ": " + bot.errorString();
            return run;
        }
        // The bot opens its telnet port once it has loaded the file, and keeps it open while its
        // standard input (its party line) is.
        QDeadlineTimer deadline(kBotTimeoutMs);
        while (!(run.listening = acceptsConnections(run.telnetPort)) && !deadline.hasExpired() &&
               !bot.waitForFinished(50)) {
        }
        // One party line command proves the help path resolves; then end of input makes the
        // bot leave the party line and exit.
        bot.write(".help console\n");
        bot.closeWriteChannel();
        run.endedByItself = bot.waitForFinished(kBotTimeoutMs);
        if (!run.endedByItself) {
            bot.kill();
            bot.waitForFinished();
        }
        run.output = QString::fromLocal8Bit(bot.readAll());
        return run;
    }

    // Everything wrong with one run, empty when the bot loaded the file as intended.
    QStringList problems(const BotSettings& settings, const BotRun& run,
                         const QStringList& loggedTexts = {}) const {
        QStringList found;
        const QString& out = run.output;
        if (!run.endedByItself)
            found << "the bot did not end within the time bound and was killed";
        if (!run.listening)
            found << QStringLiteral("nothing listened on telnet port %1").arg(run.telnetPort);
        // The heading of the command's entry in the help file: the party line answered, from
        // the help path the file names.
        if (!out.contains(QLatin1String("###  console")))
            found << "the party line gave no help for .help console";
        const QRegularExpression modulesLine(QStringLiteral("^probe modules: (.*)$"),
                                             QRegularExpression::MultilineOption);
        const QStringList modules =
            modulesLine.match(out).captured(1).trimmed().split(' ', Qt::SkipEmptyParts);
        for (const char* module : kModules)
            if (!modules.contains(QLatin1String(module)))
                found << QStringLiteral("the bot has no module %1").arg(QLatin1String(module));
        if (!out.contains("probe botnet-nick: " + settings.botName + '\n'))
            found << "the bot did not call itself " + settings.botName;
        for (const char* marker : kErrorMarkers)
            if (out.contains(QLatin1String(marker)))
                found << QStringLiteral("printed \"%1\"").arg(QLatin1String(marker));

        // The bot warns about exactly the two optional lines; any other warning is news.
        QStringList expectedWarnings;
        if (settings.useMyHostname)
            expectedWarnings << "WARNING: You are using the DEPRECATED variable 'my-hostname' in "
                                "your config file.";
        if (settings.useMyIp)
            expectedWarnings << "WARNING: You are using the DEPRECATED variable 'my-ip' in your "
                                "config file.";
        QStringList warnings;
        for (const QString& line : out.split('\n'))
            if (line.startsWith(QLatin1String("WARNING")))
                warnings << line.trimmed();
        if (warnings != expectedWarnings)
            found << "warnings were [" + warnings.join(" | ") + "], expected [" +
                         expectedWarnings.join(" | ") + "]";

        for (const QString& text : loggedTexts)
            if (!out.contains(text))
                found << "the scripts text did not log \"" + text + "\"";
        return found;
    }

    void expectLoads(const BotSettings& settings, const QString& what,
                     const QStringList& loggedTexts = {}) {
        const BotRun run = runBot(settings);
        const QStringList found = problems(settings, run, loggedTexts);
        EXPECT_TRUE(found.isEmpty())
            << what.toStdString() << ":\n  " << found.join("\n  ").toStdString()
            << "\n--- eggdrop printed:\n"
            << run.output.toStdString();
    }
};

TEST_F(EggdropLoadTest, DefaultSettingsLoad) {
    expectLoads(loadableDefaults(), "default settings");
}

TEST_F(EggdropLoadTest, BothOptionalLinesLoad) {
    BotSettings settings = loadableDefaults();
    settings.useMyHostname = true;
    settings.myHostname = QStringLiteral("localhost");
    settings.useMyIp = true;
    settings.myIp = QStringLiteral("127.0.0.1");
    expectLoads(settings, "my-hostname and my-ip at loopback");
}

TEST_F(EggdropLoadTest, AllAndNoChannelFlagsLoad) {
    for (bool value : {true, false}) {
        BotSettings settings = loadableDefaults();
        settings.channelFlags.fill(value);
        expectLoads(settings, value ? "every channel flag set" : "no channel flag set");
    }
}

TEST_F(EggdropLoadTest, EveryChoiceOfOptionalServersLoads) {
    for (bool second : {false, true}) {
        for (bool third : {false, true}) {
            BotSettings settings = loadableDefaults();
            settings.useServer2 = second;
            settings.useServer3 = third;
            expectLoads(settings, QStringLiteral("server-2 %1, server-3 %2")
                                      .arg(second ? "on" : "off", third ? "on" : "off"));
        }
    }
}

// Values a user would type: nothing that means something to Tcl inside double quotes
// ('"', '$', '[', ']', '{', '}', '\').
class PlainValues {
public:
    explicit PlainValues(std::uint32_t start) : random_(start) {}

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool coin() { return number(0, 1) == 1; }

    QString from(const char* alphabet, int minLength, int maxLength) {
        const std::string chars(alphabet);
        QString text;
        for (int n = number(minLength, maxLength); n > 0; --n)
            text += QChar(chars[std::size_t(number(0, int(chars.size()) - 1))]);
        return text;
    }

    // A handle, a file base name or an ident: starts with a letter.
    QString name(int maxLength) {
        return from(kLetters, 1, 1) + from(kNameChars, 0, maxLength - 1);
    }
    QString nick() { return from(kLetters, 1, 1) + from(kNickChars, 0, 8); }
    QString text(int maxLength) { return from(kTextChars, 1, maxLength); }
    template <typename T, std::size_t N> const T& pick(const T (&choices)[N]) {
        return choices[std::size_t(number(0, int(N) - 1))];
    }

private:
    static constexpr const char* kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static constexpr const char* kNameChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    static constexpr const char* kNickChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_^|`";
    static constexpr const char* kTextChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
        "      .,:;!?@<>()'*+-=_~%&/#^|`";
    std::mt19937 random_;
};

TEST_F(EggdropLoadTest, RecordsOfRandomPlainValuesLoad) {
    PlainValues random(kRandomStart);
    const char* const hosts[] = {"127.0.0.1", "localhost"};
    for (int record = 0; record < kRandomRecords; ++record) {
        BotSettings s = loadableDefaults();
        s.username = random.name(10);
        s.admin = random.text(12) + " <" + random.name(8) + "@" + random.name(8) + ".org>";
        s.network = random.text(20);
        s.useMyHostname = random.coin();
        s.myHostname = QLatin1String(random.pick(hosts));
        s.useMyIp = random.coin();
        s.botName = random.name(12);
        s.whoisInfo = random.text(40);
        s.nick = random.nick();
        s.altNick = random.nick();
        s.channel = random.name(15);
        for (bool& flag : s.channelFlags)
            flag = random.coin();
        auto server = [&] {
            return QLatin1String(random.pick(hosts)) +
                   (random.coin() ? ":" + serverPort : QString());
        };
        s.server1 = server();
        s.useServer2 = random.coin();
        s.server2 = server();
        s.useServer3 = random.coin();
        s.server3 = server();

        // A few lines of the user's own; the bot must run every one of them.
        QStringList logged;
        QStringList lines;
        for (int n = random.number(0, 3); n > 0; --n) {
            logged << QStringLiteral("record %1 says %2").arg(record).arg(random.text(30));
            lines << "putlog \"" + logged.back() + "\"";
        }
        s.scripts = lines.join("\r\n") + (random.coin() && !lines.isEmpty() ? "\r\n" : QString());

        const QString what =
            QStringLiteral("record %1: username \"%2\", admin \"%3\", network \"%4\", bot \"%5\", "
                           "whois \"%6\", nicks \"%7\" \"%8\", channel \"%9\"")
                .arg(record)
                .arg(s.username, s.admin, s.network, s.botName, s.whoisInfo, s.nick, s.altNick,
                     s.channel);
        expectLoads(s, what, logged);
    }
}

} // namespace
} // namespace quorvel
