// The message window's sending, chat pane and keys.
#include "messaging/widgets/NewMsgUnit.h"

#include "chatlog/ChatLogTypesUnit.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/CodePageCheckUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/EmotionsUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using Utils::LocalComputerName;

namespace {

QString NowText() { return ChatLog::LogTimeText(QDateTime::currentDateTime()); }

} // namespace

// ------------------------------------------------------------------ keys

namespace {

bool IsCaptureKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::AltModifier;
    return key->key() == Qt::Key_A && (key->modifiers() & both) == both;
}

} // namespace

bool TNewMsgForm::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+Alt+A would type an "a" (taken as AltGr); it captures on release instead.
    if (watched == FInput && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        IsCaptureKey(static_cast<QKeyEvent*>(event))) {
        if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
            StartScreenCapture();
        return true;
    }
    if (watched == FInput && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            const bool sends = Params()[bpPressEnterToSend] || key->modifiers().testFlag(Qt::ControlModifier);
            if (sends) {
                if (FSendButton->isEnabled()) SendExecute();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------------ send

void TNewMsgForm::SendExecute() {
    if (IsSending()) return;
    if (!FSendMode) {
        Reply();
        return;
    }
    if (FInput->document()->isEmpty()) {
        FInput->setFocus();
        return;
    }
    // Characters the code page lacks would arrive as "?": the user sends anyway or goes back to the text.
    const int language = FContext.Lang ? FContext.Lang->LanguageId() : TMessageLang::Instance().LanguageId();
    const QString warning = CodePageCheck::WarningText(language, FInput->toPlainText(), !FBroadcastMode);
    if (!warning.isEmpty() && ShowMessage(Utils::TMessageBoxKind::Question, warning) != Utils::TMessageBoxResult::Yes) {
        FInput->setFocus();
        return;
    }
    if (FBroadcastMode) SendAsBroadcast();
    else SendToRecipients();
}

void TNewMsgForm::Reply() {
    SetInputReadOnly(false);
    FInput->SetPlainTextMode(false);
    FInput->setAcceptRichText(true);
    FInput->clear();
    FSendMode = true;
    FBroadcastMode = false;
    ResetInputFormat();
    FSendButton->setText(Translate(QLM_TEXT("&Send")));
    FSendButton->setEnabled(true);
    FOptionButton->setEnabled(true);
    const QString name = FRecipients.isEmpty() ? QString() : DisplayNameOf(FRecipients.first());
    setWindowTitle(TranslateFormat(QLM_TEXT("Send message to %s"), {name}));
    FSwitchButton->setEnabled(true);
    FToolBar->setEnabled(true);
    FInput->setFocus();
}

void TNewMsgForm::SetBusy(bool busy) {
    // Close stays usable: the send goes on without the window.
    if (busy) {
        FEnabledBeforeSend.clear();
        for (QWidget* w : FInputPanel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w == FCloseButton || w == FProgress) continue;
            FEnabledBeforeSend.append({w, w->isEnabled()});
            w->setEnabled(false);
        }
        setCursor(Qt::BusyCursor);
        return;
    }
    for (const auto& [w, enabled] : FEnabledBeforeSend)
        if (w) w->setEnabled(enabled);
    FEnabledBeforeSend.clear();
    unsetCursor();
}

QString TNewMsgForm::ProgressText() const { return FProgress->isHidden() ? QString() : FProgress->text(); }

void TNewMsgForm::RecipientProgress(bool reached) {
    ++(reached ? FSendReached : FSendFailed);
    FProgress->setText(FSendFailed == 0 ? TranslateFormat(QLM_TEXT("Sent %d of %d"), {FSendReached, FSendTotal})
                                        : TranslateFormat(QLM_TEXT("Sent %d of %d, %d not reached"),
                                                          {FSendReached, FSendTotal, FSendFailed}));
}

void TNewMsgForm::SendAsBroadcast() {
    TChatService& chat = *FContext.Chat;
    const QString summary = FInput->MakeFirst2Line();
    const QString body = FInput->toPlainText();
    if (!chat.BroadcastFits(summary, body)) {
        ShowMessage(Utils::TMessageBoxKind::Error, Translate(QLM_TEXT("The message is too long to broadcast.")));
        return;
    }
    SetBusy(true);
    FSendJob = chat.StartBroadcast(summary, body);
    connect(FSendJob, &TChatJob::BroadcastFinished, this, &TNewMsgForm::BroadcastDone);
}

void TNewMsgForm::BroadcastDone(const TBroadcastResult& result) {
    FSendJob = nullptr;
    SetBusy(false);
    if (!result.Sent) {
        ShowMessage(Utils::TMessageBoxKind::Error,
                    result.TooLong ? Translate(QLM_TEXT("The message is too long to broadcast."))
                                   : Translate(QLM_TEXT("Can not broadcast message.")));
        emit SendFinished(false);
        if (FCloseWhenSent) close();
        return;
    }
    emit SendFinished(true);
    showMinimized();
    hide();
    close();
}

void TNewMsgForm::SendToRecipients() {
    TChatService& chat = *FContext.Chat;
    TSendMessageJob job;
    job.Recipients = FRecipients;
    for (TRecipient& r : job.Recipients) r.SendStatus.clear();
    job.HasNickname = FUseNickname;
    job.Summary = FInput->MakeFirst2Line();
    job.Body = FInput->Rtf();
    FSendTotal = int(job.Recipients.size());
    FSendReached = FSendFailed = 0;
    SetBusy(true);
    FSendJob = chat.StartSendMessage(std::move(job));
    // One recipient needs no count; more show it from the first result on.
    if (FSendTotal > 1) {
        FProgress->setText(TranslateFormat(QLM_TEXT("Sent %d of %d"), {0, FSendTotal}));
        FProgress->show();
    }
    connect(FSendJob, &TChatJob::RecipientDone, this,
            [this](int, const TRecipient&, const TRecipientOutcome& outcome) { RecipientProgress(outcome.Reached); });
    connect(FSendJob, &TChatJob::SendFinished, this, &TNewMsgForm::RecipientsDone);
}

void TNewMsgForm::RecipientsDone(const TSendMessageResult& result) {
    FSendJob = nullptr;
    SetBusy(false);
    FProgress->hide();
    // One box for all those not reached, in list order, rather than one box each.
    QStringList unreached;
    for (qsizetype i = 0; i < result.Outcomes.size(); ++i)
        if (!result.Outcomes[i].Reached) unreached << DisplayNameOf(result.Job.Recipients[i]);
    if (!unreached.isEmpty())
        ShowMessage(Utils::TMessageBoxKind::Error,
                    TranslateFormat(QLM_TEXT("Error occurred when send message to %s."),
                                    {unreached.join(QStringLiteral(", "))}));
    if (!result.AnyReached()) {
        emit SendFinished(false);
        if (FCloseWhenSent) close();
        return;
    }
    emit SendFinished(true);
    if (FCloseWhenSent) {
        close();
    } else if (FInChatMode) {
        const TApplicationParams& p = Params();
        AppendToChat(NameOf(p[spNickname], LocalComputerName()), NowText(),
                     ReadBody(result.Job.Body, FContext.Lang->LanguageId()), false, false);
        FInput->clear();
        ResetInputFormat();
        FInput->setFocus();
    } else {
        showMinimized();
        hide();
        close();
    }
}

// ------------------------------------------------------------------ chat

void TNewMsgForm::AppendToChat(const QString& name, const QString& timeText, const TRichDocument& content,
                               bool incoming, bool flash) {
    FChatPane->AppendToChat(name, timeText, content, incoming, flash);
}

void TNewMsgForm::AppendIncoming(const TBroadcastData& record) {
    AppendToChat(NameOf(record.NickName, record.ComputerName),
                 ChatLog::LogTimeText(DateTimeFromDays(record.ReceivedTime)),
                 ReadBody(record.Body, record.LanguageId), true, true);
}

void TNewMsgForm::ResetInputFormat() {
    if (FBroadcastMode) return;
    FInput->ResetInputFormat();
}

void TNewMsgForm::InsertHistoryContent(const TRichDocument& content) {
    if (!FSendMode || FInput->isReadOnly()) return;
    FInput->InsertDocument(content);
    ResetInputFormat();
    FInput->setFocus();
}

void TNewMsgForm::InsertEmotion(const QString& path) {
    if (path.isEmpty() || FInput->isReadOnly()) return;
    FInput->InsertImageFile(path);
    FInput->setFocus();
}

void TNewMsgForm::OpenEmotions() {
    if (FInput->isReadOnly()) return;
    auto* button = findChild<QToolButton*>(QStringLiteral("tbEmotion"));
    // The button stays pressed while its grid is open.
    button->setDown(true);
    auto* grid = new TQLMEmotions(this);
    connect(grid, &TQLMEmotions::Answered, this, [this, button](int, const QString& path) {
        button->setDown(false);
        activateWindow();
        InsertEmotion(path);
    });
    grid->Popup(QRect(button->mapToGlobal(QPoint(0, 0)), button->size()));
}
