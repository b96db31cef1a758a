#include "config/bot_settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quorvel {
namespace {

TEST(BotSettingsTest, DefaultsAreTheValuesTheWindowOpensWith) {
    const BotSettings s;
    EXPECT_EQ(s.username, "user");
    EXPECT_TRUE(s.admin.startsWith("user <") && s.admin.endsWith(">"));
    EXPECT_FALSE(s.useMyHostname);
    EXPECT_FALSE(s.useMyIp);
    EXPECT_EQ(s.myIp, "127.0.0.1");
    EXPECT_EQ(s.botName, "bot's_name");
    EXPECT_EQ(s.outputFileName, s.botName);
    EXPECT_EQ(s.whoisInfo, "who am I ?!");
    EXPECT_EQ(s.telnetPort, "9666");
    EXPECT_EQ(s.eggPath, "/home/user/eggdrop");
    EXPECT_EQ(s.nick, "Nick");
    EXPECT_EQ(s.altNick, "Nick^");
    EXPECT_EQ(s.channel, "channel");
    EXPECT_TRUE(s.server1.endsWith(":6663"));
    EXPECT_TRUE(s.useServer2);
    EXPECT_TRUE(s.useServer3);
    EXPECT_FALSE(s.server2.contains(':'));
    EXPECT_FALSE(s.server3.contains(':'));
}

TEST(BotSettingsTest, DefaultScriptsAreFiveCrLfLines) {
    const QString scripts = BotSettings().scripts;
    EXPECT_TRUE(scripts.endsWith("\r\n"));
    EXPECT_EQ(scripts.count("\r\n"), 5);
    EXPECT_EQ(scripts.count('\n'), 5) << "no bare LF";
    EXPECT_TRUE(scripts.startsWith("source scripts/alltools.tcl\r\n"));
    EXPECT_TRUE(scripts.endsWith("\r\nloadhelp userinfo.help\r\n"));
}

TEST(ChannelFlagTableTest, SeventeenSetSevenClearInTableOrder) {
    const std::set<std::size_t> clear{4, 6, 12, 15, 20, 22, 23}; // zero-based
    const ChannelFlags defaults = BotSettings().channelFlags;
    std::set<std::string> names;
    for (std::size_t k = 0; k < channelFlagCount; ++k) {
        EXPECT_EQ(channelFlagTable[k].defaultValue, !clear.contains(k)) << k;
        EXPECT_EQ(defaults[k], channelFlagTable[k].defaultValue) << k;
        names.insert(channelFlagTable[k].name);
    }
    EXPECT_EQ(names.size(), channelFlagCount) << "names are unique";
    EXPECT_STREQ(channelFlagTable[0].name, "clearbans");
    EXPECT_STREQ(channelFlagTable[15].name, "wasoptests");
    EXPECT_STREQ(channelFlagTable[23].name, "inactive");
}

} // namespace
} // namespace quorvel
