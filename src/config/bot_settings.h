#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace quorvel {

// One Eggdrop channel option offered on the "Channel Settings" page. The name is both the
// check box caption and the word written into the global channel settings block.
struct ChannelFlag {
    const char* name;
    bool defaultValue;
};

inline constexpr std::size_t channelFlagCount = 24;

// Fixed order: element k of BotSettings::channelFlags, check box Check(k + 3) and line k of the
// written block all belong to entry k.
inline constexpr std::array<ChannelFlag, channelFlagCount> channelFlagTable{{
    {"clearbans", true},      {"enforcebans", true},     {"dynamicbans", true},
    {"userbans", true},       {"autoop", false},         {"bitch", true},
    {"greet", false},         {"protectops", true},      {"statuslog", true},
    {"stopnethack", true},    {"revenge", true},         {"secret", true},
    {"autovoice", false},     {"cycle", true},           {"dontkickops", true},
    {"wasoptests", false},    {"dynamicinvites", true},  {"userinvites", true},
    {"dynamicexempts", true}, {"userexempts", true},     {"seen", false},
    {"shared", true},         {"protectfriends", false}, {"inactive", false},
}};

using ChannelFlags = std::array<bool, channelFlagCount>;

constexpr ChannelFlags defaultChannelFlags() {
    ChannelFlags flags{};
    for (std::size_t k = 0; k < channelFlagCount; ++k)
        flags[k] = channelFlagTable[k].defaultValue;
    return flags;
}

// Everything the user can set. Texts are held exactly as typed: nothing is trimmed, escaped or
// checked. A false flag leaves the text it governs untouched. Default construction gives the
// values the window opens with.
struct BotSettings {
    QString username = QStringLiteral("user");
    QString admin = QStringLiteral("user <user@example.org>");
    QString network = QStringLiteral("irc.example.net");
    bool useMyHostname = false;
    QString myHostname = QStringLiteral("bot.example.org");
    bool useMyIp = false;
    QString myIp = QStringLiteral("127.0.0.1");
    QString botName = QStringLiteral("bot's_name");
    QString whoisInfo = QStringLiteral("who am I ?!");
    QString telnetPort = QStringLiteral("9666");
    QString eggPath = QStringLiteral("/home/user/eggdrop");
    QString nick = QStringLiteral("Nick");
    QString altNick = QStringLiteral("Nick^");
    QString channel = QStringLiteral("channel"); // without the leading "#"
    ChannelFlags channelFlags = defaultChannelFlags();
    QString server1 = QStringLiteral("irc.example.net:6663");
    bool useServer2 = true;
    QString server2 = QStringLiteral("irc2.example.net");
    bool useServer3 = true;
    QString server3 = QStringLiteral("irc3.example.net");
    // Lines separated by CR LF.
    QString scripts = QStringLiteral("source scripts/alltools.tcl\r\n"
                                     "source scripts/action.fix.tcl\r\n"
                                     "source scripts/getops-2.2d.tcl\r\n"
                                     "source scripts/userinfo1.0.tcl\r\n"
                                     "loadhelp userinfo.help\r\n");
    QString outputFileName = QStringLiteral("bot's_name");

    bool operator==(const BotSettings&) const = default;
};

} // namespace quorvel
