#include "presence/widgets/StateSetupUnit.h"

#include "ui/OnlineStateMenuUnit.h"
#include "text/UILangUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <memory>

namespace {

void SetHelpContext(QWidget* control, int id) { control->setProperty(TStateSetupForm::HelpContextProperty, id); }

} // namespace

int TStateSetupForm::EntryOf(TOnlineState state) { return state == TOnlineState::Away ? EntryAway : EntryBusy; }

TOnlineState TStateSetupForm::StateOf(int entry) { return entry == EntryAway ? TOnlineState::Away : TOnlineState::Busy; }

TStateSetupForm::TStateSetupForm(TApplicationParams& params, TOnlineState state, QWidget* parent)
    : QDialog(parent), FParams(params) {
    setObjectName(QStringLiteral("StateSetupForm"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    setModal(true);

    FStateLabel = new QLabel(this);
    FState = new QComboBox(this);
    FState->setObjectName(QStringLiteral("cbState"));
    FState->addItem(QString());
    FState->addItem(QString());
    FStateLabel->setObjectName(QStringLiteral("lblState"));
    FStateLabel->setBuddy(FState);

    FDescriptionLabel = new QLabel(this);
    FDescriptionLabel->setObjectName(QStringLiteral("lblDescription"));
    FDescription = new QPlainTextEdit(this);
    FDescription->setObjectName(QStringLiteral("mmDescription"));
    FDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on as in any dialog; a pasted tab is removed when the dialog closes.
    FDescription->setTabChangesFocus(true);
    FDescriptionLabel->setBuddy(FDescription);

    FProperty = new QGroupBox(this);
    FProperty->setObjectName(QStringLiteral("gbProperty"));
    FAutoReply = new QCheckBox(FProperty);
    FAutoReply->setObjectName(QStringLiteral("cbAutoReply"));
    FDialog = new QCheckBox(FProperty);
    FDialog->setObjectName(QStringLiteral("cbDialog"));
    auto* propertyLayout = new QVBoxLayout(FProperty);
    propertyLayout->addWidget(FAutoReply);
    propertyLayout->addWidget(FDialog);

    FSwitch = new QPushButton(this);
    FSwitch->setObjectName(QStringLiteral("btnSwitch"));
    FSwitch->setDefault(true);
    FSwitch->setAutoDefault(true);
    FClose = new QPushButton(this);
    FClose->setObjectName(QStringLiteral("btnClose"));
    FClose->setAutoDefault(false);

    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(FStateLabel);
    stateRow->addWidget(FState, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(FSwitch);
    buttons->addWidget(FClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(stateRow);
    layout->addWidget(FDescriptionLabel);
    layout->addWidget(FDescription, 1);
    layout->addWidget(FProperty);
    layout->addLayout(buttons);
    resize(360, 300);

    SetHelpContext(FState, 10001);
    SetHelpContext(FDescription, 10002);
    SetHelpContext(FAutoReply, 10003);
    SetHelpContext(FDialog, 10004);
    SetHelpContext(FSwitch, 10005);
    SetHelpContext(FClose, 10006);

    TranslateCaptions();
    LimitDescription();
    FState->setCurrentIndex(EntryOf(state));
    LoadEntry(FState->currentIndex());

    connect(FState, &QComboBox::currentIndexChanged, this, &TStateSetupForm::LoadEntry);
    // Only the user's clicks store; loading an entry sets the boxes silently.
    connect(FAutoReply, &QCheckBox::clicked, this,
            [this](bool checked) { FParams[OnlineStates::AutoReplyParam(SelectedState())] = checked; });
    connect(FDialog, &QCheckBox::clicked, this,
            [this](bool checked) { FParams[OnlineStates::AutoSwitchParam(SelectedState())] = checked; });
    connect(FSwitch, &QPushButton::clicked, this, &QDialog::accept);
    connect(FClose, &QPushButton::clicked, this, &QDialog::reject);
}

void TStateSetupForm::TranslateCaptions() {
    setWindowTitle(Translate(QStringLiteral("Setup Online State")));
    FStateLabel->setText(Translate(QStringLiteral("&Select online state:")));
    FState->setItemText(EntryBusy, Translate(QStringLiteral("Busy")));
    FState->setItemText(EntryAway, Translate(QStringLiteral("Away")));
    FDescriptionLabel->setText(Translate(QStringLiteral("Auto-reply &content(Max 255 Chars):")));
    FProperty->setTitle(Translate(QStringLiteral("Properties")));
    FAutoReply->setText(Translate(QStringLiteral("Auto &reply when at this state")));
    FDialog->setText(Translate(QStringLiteral("Not show this &window again next time to switch")));
    FSwitch->setText(Translate(QStringLiteral("Switch Now")));
    FClose->setText(Translate(QStringLiteral("Close")));
}

TOnlineState TStateSetupForm::SelectedState() const { return StateOf(FState->currentIndex()); }

void TStateSetupForm::LoadEntry(int entry) {
    if (entry < 0) return;
    const TOnlineState state = StateOf(entry);
    FDescription->setPlainText(FParams[OnlineStates::AutoReplyContentParam(state)]);
    FAutoReply->setChecked(FParams[OnlineStates::AutoReplyParam(state)]);
    FDialog->setChecked(FParams[OnlineStates::AutoSwitchParam(state)]);
}

// The plain text edit has no length limit of its own: whatever is typed,
// pasted or dropped past the limit is taken back out of the inserted range,
// so that the text already there stays whole.
void TStateSetupForm::LimitDescription() {
    auto lastInsertEnd = std::make_shared<int>(-1);
    QTextDocument* document = FDescription->document();
    connect(document, &QTextDocument::contentsChange, this,
            [lastInsertEnd](int position, int, int added) { *lastInsertEnd = added > 0 ? position + added : -1; });
    connect(FDescription, &QPlainTextEdit::textChanged, this, [this, lastInsertEnd] {
        if (FLimiting) return;
        QTextDocument* document = FDescription->document();
        const int length = document->characterCount() - 1; // without the closing separator
        const int excess = length - OnlineStates::MaxAutoReplyLength;
        if (excess <= 0) return;
        int end = *lastInsertEnd < 0 ? length : qMin(*lastInsertEnd, length);
        int start = qMax(0, end - excess);
        if (end - start < excess) { // the insertion was shorter: cut the end
            end = length;
            start = length - excess;
        }
        if (start > 0 && document->characterAt(start).isLowSurrogate()) --start;
        FLimiting = true;
        QTextCursor cursor(document);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        FLimiting = false;
    });
}

void TStateSetupForm::done(int result) {
    // Every way out stores the text, once, as the selected entry's.
    if (!FStored) {
        FStored = true;
        OnlineStates::StoreAutoReplyText(FParams, SelectedState(), FDescription->toPlainText());
    }
    QDialog::done(result);
}

TOnlineStateController::TOnlineStateController(TApplicationParams& params, TOnlineStateAnnouncer& announcer,
                                               QWidget* dialogParent, QObject* parent)
    : QObject(parent), FSwitch(params, announcer), FDialogParent(dialogParent) {
    connect(&FSwitch, &TOnlineStateSwitch::StateSwitched, this, &TOnlineStateController::StateSwitched);
}

void TOnlineStateController::ChangeOnlineStateExecute(int tag) {
    const std::optional<TOnlineState> wanted = OnlineStateMenu::StateOfTag(tag);
    if (!wanted) return;
    const OnlineStates::TStateChoice choice = FSwitch.Choose(*wanted);
    if (choice.Kind == OnlineStates::TStateChoice::ckDialog) ShowStateSetupDialog(choice.State);
}

void TOnlineStateController::LoadOnlineStateFormExecute() { ShowStateSetupDialog(TOnlineState::Busy); }

bool TOnlineStateController::ShowStateSetupDialog(TOnlineState state) {
    if (FDialogForm) {
        FDialogForm->raise();
        FDialogForm->activateWindow();
        return false;
    }
    // Held by a guard: the parent may go away while the dialog runs.
    FDialogForm = new TStateSetupForm(FSwitch.Settings(), state, FDialogParent);
    const bool switchNow = FDialogForm->exec() == QDialog::Accepted;
    if (!FDialogForm) return false;
    const TOnlineState selected = FDialogForm->SelectedState();
    FDialogForm->deleteLater();
    FDialogForm.clear();
    if (switchNow) FSwitch.Switch(selected);
    return switchNow;
}
