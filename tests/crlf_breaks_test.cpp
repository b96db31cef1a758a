#include "ui/crlf_breaks.h"

#include <QString>

#include <gtest/gtest.h>

#include <random>
#include <string_view>

namespace quorvel {
namespace {

QString plainConversion(const QString& raw) {
    QString converted;
    for (QChar c : raw) {
        if (c == QChar(0x2028) || c == QChar(0x2029))
            converted += QStringLiteral("\r\n");
        else
            converted += c;
    }
    return converted;
}

// Characters one bit or one lane away from a break, and CR and LF, which stay as they are.
constexpr std::u16string_view nearMisses = u"a\u2027\u202A\u202B\u2038\u3028\uA029()\u2828\r\n";

TEST(CrlfBreaksTest, EveryKindOfBreakAndNoOther) {
    EXPECT_EQ(withCrlfBreaks(QString()), QString());
    const QString plain = QString::fromUtf16(nearMisses.data(), qsizetype(nearMisses.size()));
    EXPECT_EQ(withCrlfBreaks(plain), plain);
    EXPECT_EQ(withCrlfBreaks(QStringLiteral("a\u2028b\u2029c\u2029")),
              QStringLiteral("a\r\nb\r\nc\r\n"));
}

// Breaks at every spacing and offset, at every length up to past a few groups, so that groups
// of four hold them at every alignment and the result's room runs out at every point.
TEST(CrlfBreaksTest, BreaksAtEveryAlignmentAndDensity) {
    for (int period = 1; period <= 6; ++period) {
        for (int offset = 0; offset < period; ++offset) {
            for (int length = 0; length <= 80; ++length) {
                QString raw;
                for (int k = 0; k < length; ++k) {
                    if (k % period == offset)
                        raw += QChar(k % 3 == 0 ? 0x2028 : 0x2029);
                    else
                        raw += QChar(nearMisses[k % nearMisses.size()]);
                }
                ASSERT_EQ(withCrlfBreaks(raw), plainConversion(raw))
                    << "a break every " << period << " from " << offset << ", " << length
                    << " characters";
            }
        }
    }
}

// Long texts that are all breaks, or breaks and near misses at random, grow the result again
// and again.
TEST(CrlfBreaksTest, LongDenseTexts) {
    const QString allBreaks(10'000, QChar(0x2029));
    EXPECT_EQ(withCrlfBreaks(allBreaks), plainConversion(allBreaks));

    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> pick(0, nearMisses.size() + 1);
    for (int round = 0; round < 200; ++round) {
        QString raw;
        const int length = int(random() % 3'000);
        for (int k = 0; k < length; ++k) {
            const std::size_t c = pick(random);
            raw += c < nearMisses.size() ? QChar(nearMisses[c])
                                         : QChar(c == nearMisses.size() ? 0x2028 : 0x2029);
        }
        ASSERT_EQ(withCrlfBreaks(raw), plainConversion(raw)) << "round " << round;
    }
}

} // namespace
} // namespace quorvel
