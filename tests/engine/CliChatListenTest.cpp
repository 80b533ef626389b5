// What `listen` prints of a received message: whole when it is small or when
// asked, cut (and saying so) when a peer sends a huge one.
#include "cli/CliChatUnit.h"

#include "messaging/ChatServiceUnit.h"
#include "node/NodeUnit.h"
#include "support/CaseName.h"
#include "support/ChatFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <QJsonObject>
#include <ostream>

namespace {

constexpr qsizetype kCut = TChatListenOptions::PrintedBodyChars;

struct TPrintCase {
    std::string Name;
    qsizetype TextChars;
    bool FullBodies;
    bool Truncated;
};
void PrintTo(const TPrintCase& c, std::ostream* os) { *os << c.Name; }

class ListenPrintsBodies : public ::testing::TestWithParam<TPrintCase> {
protected:
    TNetworkOff Offline;
    TTempHome Home;
    TNode Node;
};

TEST_P(ListenPrintsBodies, CutsOnlyWhatIsOverTheLimit) {
    const TPrintCase& c = GetParam();
    TChatListenOptions options;
    options.FullBodies = c.FullBodies;
    QList<QJsonObject> printed;
    AttachChatListen(Node, options, [&printed](const QJsonObject& o, const QString&) { printed << o; });
    TBroadcastData record = IncomingRecord();
    record.Body = "{\\rtf1 " + QByteArray(c.TextChars, 'x') + "}";
    emit Node.Chat().MessageArrived(record);
    ASSERT_EQ(printed.size(), 1);
    const QJsonObject& o = printed[0];
    EXPECT_EQ(o.value(QStringLiteral("BodyBytes")).toInteger(), record.Body.size());
    EXPECT_EQ(o.value(QStringLiteral("BodySHA256")).toString(),
              QString::fromLatin1(QCryptographicHash::hash(record.Body, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(o.value(QStringLiteral("Truncated")).toBool(), c.Truncated);
    const qsizetype body = o.value(QStringLiteral("Body")).toString().size();
    const qsizetype text = o.value(QStringLiteral("Text")).toString().trimmed().size();
    EXPECT_EQ(body, c.Truncated ? kCut : record.Body.size());
    EXPECT_EQ(text, c.Truncated ? kCut : c.TextChars);
}

INSTANTIATE_TEST_SUITE_P(Cases, ListenPrintsBodies,
                         ::testing::Values(TPrintCase{"Small", 100, false, false},
                                           TPrintCase{"TextJustUnderTheCut", kCut - 8, false, false},
                                           TPrintCase{"TextOverTheCut", kCut + 1, false, true},
                                           TPrintCase{"HugeCut", 4 * kCut, false, true},
                                           TPrintCase{"HugeWholeWhenAsked", 4 * kCut, true, false}),
                         TCaseName());

} // namespace
