// The console window: its list, counter and buttons, and what a send leaves
// behind, against a fake messenger on 127.0.0.1.
#include "console/widgets/ConsoleUnit.h"

#include "console/ConsoleServiceUnit.h"
#include "core/ParamsUnit.h"
#include "support/ConsoleFakePeer.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ConsoleFake;

namespace {

class ConsoleForm : public ::testing::Test {
protected:
    TTempHome FHome;
    TLoopbackOnly FLoopback;
    QByteArray FText, FFrom;
    TFakePeer FPeer{[this](quint8 type, const QByteArray& body) { return Honest(type, body, &FText, &FFrom); }};
    TConsoleService FService{1033, QStringLiteral("SENDERPC")};
    QStringList FErrors;

    ConsoleForm() {
        TConsoleNetwork network;
        network.SessionPort = FPeer.Port();
        FService.SetNetwork(network);
        TConsoleLimits limits;
        limits.ReplyMs = 2000;
        FService.SetLimits(limits);
    }

    // A window on the fake service; boxes land in FErrors, "&Add..." answers name.
    QPointer<TConsoleForm> Open(const QString& names, QString addName = {}) {
        TConsoleFormContext context;
        context.Service = &FService;
        context.Params = &Params();
        context.ShowError = [this](QWidget*, const QString& text) { FErrors << text; };
        context.AskComputerName = [addName](QWidget*, QString* name) {
            *name = addName;
            return !addName.isEmpty();
        };
        context.UserName = [] { return QStringLiteral("ann"); };
        return new TConsoleForm(std::move(context), names);
    }

    template <typename T>
    static T* Child(QWidget* form, const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    static QStringList Rows(TConsoleForm* form) {
        QStringList rows;
        for (int i = 0; i < form->List()->count(); ++i) rows << form->List()->item(i)->text();
        return rows;
    }
    static QString ErrorOf(TConsoleForm* form, int row) {
        return form->List()->item(row)->data(TConsigneeDelegate::ErrorTextRole).toString();
    }
};

} // namespace

TEST_F(ConsoleForm, OpensWithTheTabSeparatedNamesAndKeepsSendInStep) {
    QPointer<TConsoleForm> form = Open(QStringLiteral("ALPHA\t\tBETA\tGAMMA\t"));
    EXPECT_EQ(Rows(form), (QStringList{"ALPHA", "BETA", "GAMMA"}));
    EXPECT_TRUE(form->List()->selectedItems().isEmpty());
    auto* send = Child<QPushButton>(form, "btnSend");
    auto* message = Child<QTextEdit>(form, "mmMessage");
    auto* indicator = Child<QLabel>(form, "lblIndicator");
    EXPECT_EQ(indicator->text(), QStringLiteral("Chars: 0 / Max Chars: 885"));
    EXPECT_FALSE(send->isEnabled());
    // Clear on an empty message does nothing.
    Child<QPushButton>(form, "btnClear")->click();
    EXPECT_FALSE(send->isEnabled());

    message->setPlainText(QStringLiteral("你好 there"));
    EXPECT_EQ(indicator->text(), QStringLiteral("Chars: 8 / Max Chars: 885"));
    EXPECT_TRUE(send->isEnabled());
    // Deleting every row disables Send; the text alone is not enough.
    form->List()->selectAll();
    Child<QPushButton>(form, "btnDelete")->click();
    EXPECT_EQ(form->List()->count(), 0);
    EXPECT_FALSE(send->isEnabled());
    form->AddConsignee(QStringLiteral("DELTA"));
    EXPECT_TRUE(send->isEnabled());
    Child<QPushButton>(form, "btnClear")->click();
    EXPECT_TRUE(message->toPlainText().isEmpty());
    EXPECT_FALSE(send->isEnabled());

    // Beyond the limit the text is cut to it.
    message->setPlainText(QString(900, QLatin1Char('z')));
    EXPECT_EQ(message->toPlainText().size(), TConsoleForm::MaxChars);
    EXPECT_EQ(indicator->text(), QStringLiteral("Chars: 885 / Max Chars: 885"));
    delete form;
}

TEST_F(ConsoleForm, AddSelectsOnlyTheNewRowAndTheCheckBoxFillsTheUserName) {
    QPointer<TConsoleForm> form = Open(QStringLiteral("ALPHA\tBETA"), QStringLiteral("NEWPC"));
    form->List()->item(0)->setSelected(true);
    Child<QPushButton>(form, "btnAddStation")->click();
    EXPECT_EQ(Rows(form), (QStringList{"ALPHA", "BETA", "NEWPC"}));
    ASSERT_EQ(form->List()->selectedItems().size(), 1);
    EXPECT_EQ(form->List()->selectedItems().first()->text(), QStringLiteral("NEWPC"));

    auto* nickname = Child<QLineEdit>(form, "edtNickname");
    Child<QCheckBox>(form, "cbNickname")->click();
    EXPECT_EQ(nickname->text(), QStringLiteral("ann"));
    delete form;
}

TEST_F(ConsoleForm, OnlyTheFailedRowStaysWithItsCrossThenASuccessCloses) {
    QPointer<TConsoleForm> form = Open(QStringLiteral("127.0.0.1\tNAMEFARTOOLONGTOGO"));
    form->show();
    Child<QTextEdit>(form, "mmMessage")->setPlainText(QStringLiteral("line one\nline two"));
    Child<QCheckBox>(form, "cbNickname")->click();
    QSignalSpy finished(form.data(), &TConsoleForm::SendFinished);
    Child<QPushButton>(form, "btnSend")->click();
    // Busy but responsive: no second send, the list cannot change under the job.
    EXPECT_TRUE(form->Busy());
    EXPECT_FALSE(Child<QPushButton>(form, "btnSend")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(form, "btnDelete")->isEnabled());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(form->Busy());
    EXPECT_EQ(FText, QByteArray("line one\r\nline two"));
    EXPECT_EQ(FFrom, QByteArray("ann"));
    ASSERT_EQ(Rows(form), QStringList{"NAMEFARTOOLONGTOGO"});
    EXPECT_EQ(ErrorOf(form, 0), QStringLiteral("Error occurred."));
    EXPECT_EQ(FErrors, QStringList{
        "The name: NAMEFARTOOLONGTOGO is longer than 15 characters, the most a computer name has."});

    // The row is drawn with its cross: red pixels over the icon, none without an error.
    auto render = [&](bool withError) {
        QImage image(200, 16, QImage::Format_ARGB32);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.palette = form->List()->palette();
        option.fontMetrics = form->List()->fontMetrics();
        form->List()->item(0)->setData(TConsigneeDelegate::ErrorTextRole, withError ? QStringLiteral("Error occurred.") : QString());
        TConsigneeDelegate delegate;
        delegate.paint(&painter, option, form->List()->model()->index(0, 0));
        painter.end();
        int red = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 180 && c.green() < 90 && c.blue() < 90) ++red;
            }
        return red;
    };
    EXPECT_EQ(render(false), 0);
    EXPECT_GT(render(true), 0);

    // The failed row renamed to one that goes: the window closes itself.
    form->List()->item(0)->setText(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(Child<QPushButton>(form, "btnSend")->isEnabled());
    Child<QPushButton>(form, "btnSend")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isNull(); }, 10000));
    EXPECT_EQ(FErrors.size(), 1);
}

TEST_F(ConsoleForm, PositionIsRestoredAndStored) {
    Params()[ipConsoleFormLeft] = 140;
    Params()[ipConsoleFormTop] = 90;
    QPointer<TConsoleForm> form = Open({});
    EXPECT_EQ(form->pos(), QPoint(140, 90));
    form->move(150, 95);
    form->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isNull(); }, 2000));
    EXPECT_EQ(Params()[ipConsoleFormLeft], 150);
    EXPECT_EQ(Params()[ipConsoleFormTop], 95);
}
