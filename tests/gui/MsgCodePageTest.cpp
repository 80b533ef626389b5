// The message window asks before sending text its code page cannot carry.
#include "support/CaseName.h"
#include "support/MsgFormFixture.h"

#include "text/widgets/RichInputUnit.h"

#include <ostream>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");
// A character no ANSI code page has: the question comes whatever the test machine's locale.
const QString kSmile = QString::fromUtf8("😀");

struct TWarnCase {
    const char* Name;
    bool Broadcast;
    QString Text;
    bool SendAnyway;
    bool Asked;
    bool Sent;
};

void PrintTo(const TWarnCase& c, std::ostream* os) { *os << c.Name; }

class MsgCodePage : public TMsgFormFixture, public ::testing::WithParamInterface<TWarnCase> {};

TEST_P(MsgCodePage, SendsAnywayOrGoesBackToTheText) {
    const TWarnCase& c = GetParam();
    ASSERT_TRUE(Start(2000));
    TRecipients to;
    if (!c.Broadcast) to << User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"));
    TNewMsgForm* form = Open(true, c.Broadcast, true, to);
    ASSERT_NE(form, nullptr);
    form->Input()->setPlainText(c.Text);
    BoxAnswer = c.SendAnyway ? Utils::TMessageBoxResult::Yes : Utils::TMessageBoxResult::No;
    bool finished = false;
    QObject::connect(form, &TNewMsgForm::SendFinished, [&finished] { finished = true; });
    TLoopbackOnly loopback;
    form->SendExecute();
    EXPECT_EQ(form->IsSending() || finished, c.Sent);
    if (c.Asked) {
        ASSERT_FALSE(Boxes.isEmpty());
        EXPECT_TRUE(Boxes[0].contains(kSmile)) << Boxes[0].toStdString();
        // A broadcast goes out as plain text, a message keeps its characters in the rich body.
        EXPECT_EQ(Boxes[0].contains(QStringLiteral("Other users would see")), c.Broadcast) << Boxes[0].toStdString();
    } else {
        EXPECT_TRUE(Boxes.isEmpty());
    }
    if (!c.Sent) {
        EXPECT_EQ(form->Input()->toPlainText(), c.Text);
        EXPECT_TRUE(form->isEnabled());
        return;
    }
    ASSERT_TRUE(WaitUntil([&] { return finished; }, 10000));
    if (!c.Broadcast && c.Asked) {
        ASSERT_TRUE(WaitUntil([&] { return !Arrived.isEmpty(); }));
        EXPECT_TRUE(Arrived[0].Body.contains("\\u"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsgCodePage,
    ::testing::Values(TWarnCase{"MessageFitsNoQuestion", false, QStringLiteral("plain words"), false, false, true},
                      TWarnCase{"MessageGoBack", false, QStringLiteral("hi ") + kSmile, false, true, false},
                      TWarnCase{"MessageSendAnyway", false, QStringLiteral("hi ") + kSmile, true, true, true},
                      TWarnCase{"BroadcastGoBack", true, QStringLiteral("all ") + kSmile, false, true, false},
                      TWarnCase{"BroadcastSendAnyway", true, QStringLiteral("all ") + kSmile, true, true, true}),
    TCaseName());

} // namespace
