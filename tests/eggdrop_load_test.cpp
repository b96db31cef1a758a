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

sockaddr_in ipv4(in_addr_t address, int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    addr.sin_port = htons(std::uint16_t(port));
    return addr;
}

// A TCP port nobody listens on right now; the kernel picks it.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = ipv4(INADDR_ANY, 0);
    socklen_t len = sizeof addr;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    ::close(fd);
    return bound ? ntohs(addr.sin_port) : 0;
}

// Whether something accepts TCP connections on the port at loopback.
bool acceptsConnections(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in addr = ipv4(INADDR_LOOPBACK, port);
    const bool accepted =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
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
    std::optional<passwd> nobody; // whom root runs the bot as

    void SetUp() override {
        eggdrop = QStandardPaths::findExecutable(QStringLiteral("eggdrop"));
        ASSERT_FALSE(eggdrop.isEmpty())
            << "eggdrop is not installed; tools/install-deps installs it";
        ASSERT_TRUE(QFileInfo(kDebianModules + "/channels.so").exists());
        ASSERT_TRUE(QFileInfo(kDebianHelp + "/core.help").exists());

        // Eggdrop will not run as root, so root hands it to "nobody", which must be able to
        // reach and write the scratch directory; /tmp is open to everyone.
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("nobody");
            ASSERT_NE(pw, nullptr) << "no user 'nobody' to run eggdrop as";
            nobody = *pw;
            dir.emplace(QStringLiteral("/tmp/quorvel-eggdrop-XXXXXX"));
            ASSERT_EQ(::chown(QFile::encodeName(dir->path()).constData(), pw->pw_uid, pw->pw_gid),
                      0);
        } else {
            dir.emplace();
        }
        ASSERT_TRUE(dir->isValid());

        eggPath = dir->filePath(QStringLiteral("egg"));
        ASSERT_TRUE(QDir().mkpath(eggPath));
        // Whatever the umask, the bot's user must be able to pass through.
        ASSERT_EQ(::chmod(QFile::encodeName(eggPath).constData(), 0705), 0);
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

        QStringList args{"-n", "-t", "-m", "bot.conf"};
        QString program = eggdrop;
        if (nobody) {
            args = QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                               QStringLiteral("--regid=%1").arg(nobody->pw_gid), "--clear-groups",
                               eggdrop} +
                   args;
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
        for (auto [used, name] : {std::pair{settings.useMyHostname, "my-hostname"},
                                  std::pair{settings.useMyIp, "my-ip"}})
            if (used)
                expectedWarnings << QStringLiteral("WARNING: You are using the DEPRECATED "
                                                   "variable '%1' in your config file.")
                                        .arg(name);
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

// The choices the window offers, each on its own; the defaults choose servers 2 and 3.
struct Choice {
    const char* name;
    bool myHostnameAndIp; // at loopback
    bool server2, server3;
    std::optional<bool> everyChannelFlag;
};

class ChoiceLoadTest : public EggdropLoadTest, public ::testing::WithParamInterface<Choice> {};

TEST_P(ChoiceLoadTest, Loads) {
    BotSettings settings = loadableDefaults();
    settings.useMyHostname = settings.useMyIp = GetParam().myHostnameAndIp;
    settings.myHostname = QStringLiteral("localhost");
    settings.useServer2 = GetParam().server2;
    settings.useServer3 = GetParam().server3;
    if (GetParam().everyChannelFlag)
        settings.channelFlags.fill(*GetParam().everyChannelFlag);
    expectLoads(settings, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(, ChoiceLoadTest,
                         ::testing::Values(Choice{"Defaults", false, true, true, {}},
                                           Choice{"MyHostnameAndMyIp", true, true, true, {}},
                                           Choice{"EveryChannelFlag", false, true, true, true},
                                           Choice{"NoChannelFlag", false, true, true, false},
                                           Choice{"Server2Only", false, true, false, {}},
                                           Choice{"Server3Only", false, false, true, {}},
                                           Choice{"NoOptionalServer", false, false, false, {}}),
                         [](const auto& info) { return info.param.name; });

// Values a user would type: nothing that means something to Tcl inside double quotes
// ('"', '$', '[', ']', '{', '}', '\'). Names (handles, file base names, idents) and nicks start
// with a letter.
struct PlainValues {
    std::mt19937 random{kRandomStart};
    inline static const std::string letters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    bool coin() { return number(0, 1) == 1; }
    QString from(const std::string& chars, int minLength, int maxLength) {
        QString text;
        for (int n = number(minLength, maxLength); n > 0; --n)
            text += QChar(chars[std::size_t(number(0, int(chars.size()) - 1))]);
        return text;
    }
    QString name(int maxLength) {
        return from(letters, 1, 1) + from(letters + "0123456789-_", 0, maxLength - 1);
    }
    QString nick() { return from(letters, 1, 1) + from(letters + "0123456789-_^|`", 0, 8); }
    QString text(int maxLength) {
        return from(letters + "0123456789      .,:;!?@<>()'*+-=_~%&/#^|`", 1, maxLength);
    }
    QString host() { return coin() ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1"); }
};

TEST_F(EggdropLoadTest, RecordsOfRandomPlainValuesLoad) {
    PlainValues random;
    for (int record = 0; record < kRandomRecords; ++record) {
        BotSettings s = loadableDefaults();
        s.username = random.name(10);
        s.admin = random.text(12) + " <" + random.name(8) + "@" + random.name(8) + ".org>";
        s.network = random.text(20);
        s.useMyHostname = random.coin();
        s.myHostname = random.host();
        s.useMyIp = random.coin();
        s.botName = random.name(12);
        s.whoisInfo = random.text(40);
        s.nick = random.nick();
        s.altNick = random.nick();
        s.channel = random.name(15);
        for (bool& flag : s.channelFlags)
            flag = random.coin();
        auto server = [&] {
            return random.host() + (random.coin() ? ":" + serverPort : QString());
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

        // username, admin, network, bot, whois, nicks, channel
        const QStringList values{s.username,  s.admin, s.network, s.botName,
                                 s.whoisInfo, s.nick,  s.altNick, s.channel};
        expectLoads(s, QStringLiteral("record %1: ").arg(record) + values.join(" | "), logged);
    }
}

} // namespace
} // namespace quorvel
