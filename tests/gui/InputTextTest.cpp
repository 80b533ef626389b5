#include "ui/UtilsGuiUnit.h"
#include "support/GuiSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {


QPushButton* Button(QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

struct TInputCase {
    const char* Name;
    const char* Initial;
    const char* Typed;
    enum { kOk, kEnter, kCancel, kEscape } Finish;
    bool Result;
    const char* Value;
};

void PrintTo(const TInputCase& c, std::ostream* os) { *os << c.Name; }

class InputTextCases : public ::testing::TestWithParam<TInputCase> {};

TEST_P(InputTextCases, TypesAndFinishes) {
    const TInputCase& c = GetParam();
    int maxLength = -1;
    QString caption, prompt;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        if (auto* label = dialog->findChild<QLabel*>()) prompt = label->text();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("InputTextEdit"));
        if (!edit) {
            ADD_FAILURE() << "no InputTextEdit";
            static_cast<QDialog*>(dialog)->reject();
            return;
        }
        maxLength = edit->maxLength();
        QTest::keyClicks(edit, QString::fromUtf8(c.Typed));
        switch (c.Finish) {
        case TInputCase::kOk: Button(dialog, QStringLiteral("OK"))->click(); break;
        case TInputCase::kEnter: QTest::keyClick(edit, Qt::Key_Return); break;
        case TInputCase::kCancel: Button(dialog, QStringLiteral("Cancel"))->click(); break;
        case TInputCase::kEscape: QTest::keyClick(edit, Qt::Key_Escape); break;
        }
    });
    QString value = QString::fromUtf8(c.Initial);
    const bool result = Utils::InputText(nullptr, QStringLiteral("Change Nickname"), QStringLiteral("New nickname:"), &value);
    EXPECT_EQ(result, c.Result);
    EXPECT_EQ(value.toStdString(), c.Value);
    EXPECT_EQ(maxLength, 20);
    EXPECT_EQ(caption, QStringLiteral("Change Nickname"));
    EXPECT_EQ(prompt, QStringLiteral("New nickname:"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputTextCases,
    ::testing::Values(
        // The current value starts selected, so typing replaces it.
        TInputCase{"OkReturnsTyped", "Old", "Ann", TInputCase::kOk, true, "Ann"},
        TInputCase{"OkKeepsUntouchedValue", "Old", "", TInputCase::kOk, true, "Old"},
        TInputCase{"EnterPressesOk", "Old", "Bob", TInputCase::kEnter, true, "Bob"},
        TInputCase{"TwentyOneCharactersRefused", "", "abcdefghijklmnopqrstu", TInputCase::kOk, true,
                   "abcdefghijklmnopqrst"},
        TInputCase{"LongTypingCut", "x", "0123456789012345678901234567890", TInputCase::kOk, true,
                   "01234567890123456789"},
        TInputCase{"CancelKeepsValue", "Old", "Ann", TInputCase::kCancel, false, "Old"},
        TInputCase{"EscapeCancels", "Old", "Ann", TInputCase::kEscape, false, "Old"}),
    TCaseName());

} // namespace

namespace {

// The tray takes its menu away while a quiet box is open: told once when the
// first one opens and once when the last one closes, also with boxes nested.
TEST(QuietTray, ObserverSeesTheFirstOpenAndTheLastClose) {
    QList<bool> told;
    Utils::SetTrayQuietObserver([&told](bool quiet) { told << quiet; });
    bool innerQuiet = false;
    WhenModalOpens([&innerQuiet](QWidget* outer) {
        WhenModalOpens([&innerQuiet, outer](QWidget* inner) {
            innerQuiet = Utils::TrayIsQuiet();
            inner->close();
            QTimer::singleShot(0, outer, &QWidget::close);
        });
        Utils::ShowMessageBox(outer, true, Utils::TMessageBoxKind::Information, QStringLiteral("inner"));
    });
    Utils::ShowMessageBox(nullptr, true, Utils::TMessageBoxKind::Information, QStringLiteral("outer"));
    EXPECT_TRUE(innerQuiet);
    EXPECT_FALSE(Utils::TrayIsQuiet());
    EXPECT_EQ(told, (QList<bool>{true, false}));
    // A box that does not ask for quiet leaves the tray alone.
    WhenModalOpens([](QWidget* box) { box->close(); });
    Utils::ShowMessageBox(nullptr, false, Utils::TMessageBoxKind::Information, QStringLiteral("loud"));
    EXPECT_EQ(told.size(), 2);
    Utils::SetTrayQuietObserver({});
}

} // namespace
