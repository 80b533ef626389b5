// Addresses in the message window's panes: which text is an address, and a
// click on one opens it (a Ctrl+click while writing).
#include "support/CaseName.h"
#include "support/MsgFormFixture.h"

#include "messaging/widgets/PaneLinksUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"

#include <QTest>
#include <QTextBlock>

namespace {

struct TAddressCase {
    const char* Name;
    QString Text;
    QString ClickedOn; // the text clicked: the first occurrence, its middle
    QString Address;   // empty: none
};
std::ostream& operator<<(std::ostream& os, const TAddressCase& c) { return os << c.Name; }

class PaneAddress : public ::testing::TestWithParam<TAddressCase> {};

TEST_P(PaneAddress, FoundWhereClicked) {
    const TAddressCase& c = GetParam();
    const qsizetype at = c.Text.indexOf(c.ClickedOn);
    ASSERT_GE(at, 0);
    EXPECT_EQ(PaneLinks::AddressAt(c.Text, int(at + c.ClickedOn.size() / 2)), c.Address);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PaneAddress,
    ::testing::Values(
        TAddressCase{"WebPage", "see http://example.com/a?b=1 now", "example", "http://example.com/a?b=1"},
        TAddressCase{"SentenceEnd", "Look at https://example.com/x.", "example", "https://example.com/x"},
        TAddressCase{"InBrackets", "(www.example.org/news), then", "example", "www.example.org/news"},
        TAddressCase{"Mail", "write to mailto:ann@example.com!", "ann@", "mailto:ann@example.com"},
        TAddressCase{"UpperCase", "HTTP://EXAMPLE.COM", "EXAMPLE", "HTTP://EXAMPLE.COM"},
        TAddressCase{"WordBefore", "see http://example.com now", "see", ""},
        TAddressCase{"CommaRightAfter", "see http://a.example/x, more", ",", ""},
        TAddressCase{"WordAfter", "see http://example.com now", "now", ""},
        TAddressCase{"SecondOfTwo", "ftp://a.example and file://b/c.txt", "b/c", "file://b/c.txt"},
        TAddressCase{"BarePrefix", "type http://. here", "http", ""},
        TAddressCase{"NoAddress", "nothing to open here", "open", ""}),
    TCaseName());

TEST(PaneLinksUrl, WwwAddressesAreWebPages) {
    EXPECT_EQ(PaneLinks::UrlOf(QStringLiteral("www.example.org/a")), QUrl(QStringLiteral("http://www.example.org/a")));
    EXPECT_EQ(PaneLinks::UrlOf(QStringLiteral("mailto:ann@example.com")), QUrl(QStringLiteral("mailto:ann@example.com")));
}

class PaneLinksClick : public TMsgFormFixture {
protected:
    PaneLinksClick() {
        TPaneLinks::SetOpener([this](const QUrl& url) { Opened << url; });
    }
    ~PaneLinksClick() override { TPaneLinks::SetOpener({}); }

    // Clicks the middle of the first character of what in the edit.
    static void ClickOn(QTextEdit* edit, const QString& what, Qt::KeyboardModifiers modifiers = {}) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(int(edit->toPlainText().indexOf(what)) + 1);
        const QRect caret = edit->cursorRect(cursor);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, modifiers, QPoint(caret.x() + 2, caret.center().y()));
    }

    QList<QUrl> Opened;
};

TEST_F(PaneLinksClick, ReadMessageOpensTheClickedAddress) {
    Params()[bpChatMode] = false;
    TNewMsgForm* form = Open(false, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.1"))},
                             {}, QByteArray("read www.example.org please"));
    ClickOn(form->Input(), QStringLiteral("please"));
    EXPECT_TRUE(Opened.isEmpty());
    ClickOn(form->Input(), QStringLiteral("example"));
    EXPECT_EQ(Opened, QList<QUrl>{QUrl(QStringLiteral("http://www.example.org"))});
}

TEST_F(PaneLinksClick, WhileWritingOnlyCtrlClickOpens) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.1"))});
    form->Input()->setPlainText(QStringLiteral("see https://example.com/page"));
    ClickOn(form->Input(), QStringLiteral("example"));
    EXPECT_TRUE(Opened.isEmpty());
    ClickOn(form->Input(), QStringLiteral("example"), Qt::ControlModifier);
    EXPECT_EQ(Opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/page"))});
}

TEST_F(PaneLinksClick, ChatPaneOpensTheClickedAddress) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}"))});
    TBroadcastData record;
    record.NickName = QStringLiteral("Ann");
    record.ComputerName = QStringLiteral("PCA");
    record.Body = QByteArray("news at https://example.net/today");
    form->AppendIncoming(record);
    ClickOn(form->ChatPane(), QStringLiteral("example"));
    EXPECT_EQ(Opened, QList<QUrl>{QUrl(QStringLiteral("https://example.net/today"))});
}

// A broadcast is written as plain text: no addresses there.
TEST_F(PaneLinksClick, BroadcastInputOpensNothing) {
    TNewMsgForm* form = Open(true, true, true, {});
    form->Input()->setPlainText(QStringLiteral("see https://example.com/page"));
    ClickOn(form->Input(), QStringLiteral("example"), Qt::ControlModifier);
    EXPECT_TRUE(Opened.isEmpty());
}

} // namespace
