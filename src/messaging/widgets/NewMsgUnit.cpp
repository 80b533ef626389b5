#include "messaging/widgets/NewMsgUnit.h"

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/ServerQueueUnit.h"
#include "messaging/widgets/MsgHistoryUnit.h"
#include "messaging/widgets/PaneLinksUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/FontBarUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/CustomControlsUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

using Utils::DisplayName;
using Utils::ForceForeground;
using Utils::TWindowKind;
using Utils::WindowClassName;

namespace {

// The window's received-message background: red 242, green 240, blue 238.
const QColor ReadBackground(242, 240, 238);

} // namespace

QString NameOf(const QString& nickname, const QString& computerName) {
    // A peer that sends no nickname goes by its computer name.
    return DisplayName(!nickname.isEmpty(), nickname, computerName);
}


TNewMsgForm::TNewMsgForm(TMsgFormContext context, bool sendMode, bool broadcastMode, bool useNickname,
                         const TRecipients& recipients)
    : QWidget(nullptr, Qt::Window), FContext(std::move(context)), FSendMode(sendMode), FBroadcastMode(broadcastMode),
      FUseNickname(useNickname),
      FMessageBox([](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
          return ShowRichMessageBox(owner, kind, text);
      }) {
    setObjectName(QStringLiteral("NewMsgForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(420, 300);
    setWindowIcon(TAppImages::Instance().Icon(QStringLiteral("U_COMMAND_SENDMESSAGE")));
    if (!(sendMode && broadcastMode)) {
        FRecipients = recipients;
        QStringList names;
        for (const TRecipient& r : FRecipients) names << DisplayNameOf(r);
        FRecipientsText = names.join(QLatin1Char(','));
    }
    BuildControls();
    // Never narrower than its rows need, so no translated caption is cut.
    setMinimumWidth(qMax(420, layout()->minimumSize().width()));
}

TNewMsgForm::~TNewMsgForm() { TWindowRegistry::Instance().Unregister(this); }

QString TNewMsgForm::DisplayNameOf(const TRecipient& recipient) const {
    return FUseNickname ? NameOf(recipient.NickName, recipient.ComputerName) : recipient.ComputerName;
}

QString TNewMsgForm::UserKey() const {
    if (FRecipients.size() != 1 || FBroadcastMode) return {};
    return TOnlineUserModel::UserKey(FRecipients.first().ComputerName, FRecipients.first().UserId);
}

QString TNewMsgForm::ChatKey() const { return FInChatMode && !FClosing ? UserKey() : QString(); }

QString TNewMsgForm::HeaderText() const { return FHeader->QLMRecipients(); }

void TNewMsgForm::SetMessageBox(TMessageBox messageBox) {
    FMessageBox = messageBox;
    FInput->SetMessageBox(messageBox);
    FChatPane->SetMessageBox(messageBox);
    FFontBar->SetMessageBox(messageBox);
    FHistory->SetMessageBox(messageBox);
}

Utils::TMessageBoxResult TNewMsgForm::ShowMessage(Utils::TMessageBoxKind kind, const QString& text) {
    return FMessageBox(this, kind, text);
}

// ------------------------------------------------------------------ controls

QToolButton* TNewMsgForm::AddToolButton(QWidget* bar, const char* name, const QString& english) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(Translate(english));
    button->setAutoRaise(true);
    bar->layout()->addWidget(button);
    return button;
}

void TNewMsgForm::BuildControls() {
    TApplicationParams& p = Params();
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);

    // The header cuts a long recipients list with an ellipsis.
    FHeader = new TContainerPanel(this);
    FHeader->setObjectName(QStringLiteral("MessageHeader"));
    FHeader->SetIcon(TAppImages::Instance().Icon(QStringLiteral("U_MAINGROUP_ONLINEUSER")));
    FHeader->SetQLMTitle(Translate(QLM_TEXT("Chat Target:")));
    FHeader->SetQLMRecipients(Translate(QLM_TEXT("<Empty>")));
    outer->addWidget(FHeader);

    FFontBar = new TFontBar(p, this);
    FFontBar->hide();
    outer->addWidget(FFontBar);

    FRecordSplitter = new QSplitter(Qt::Vertical, this);
    FRecordSplitter->setObjectName(QStringLiteral("RecordSplitter"));
    FRecordSplitter->setChildrenCollapsible(false);
    FChatSplitter = new QSplitter(Qt::Vertical, FRecordSplitter);
    FChatSplitter->setObjectName(QStringLiteral("ChatSplitter"));
    FChatSplitter->setChildrenCollapsible(false);
    FChatPane = new TRichChatPane(p, FChatSplitter);
    FChatPane->setObjectName(QStringLiteral("RichShow"));
    FInputPanel = BuildInputPanel();
    FChatSplitter->addWidget(FInputPanel);
    FHistory = new THistoryPanel(*this, *FContext.Log, FRecordSplitter);
    FHistory->hide();
    outer->addWidget(FRecordSplitter, 1);

    FFontBar->SetInput(FInput);
    FFontBar->LoadFromSettings();
    new TPaneLinks(FChatPane);
    FInputLinks = new TPaneLinks(FInput);
}

QWidget* TNewMsgForm::BuildInputPanel() {
    TApplicationParams& p = Params();
    auto* panel = new QWidget(FChatSplitter);
    panel->setObjectName(QStringLiteral("pnlInput"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    FToolBar = new QWidget(panel);
    FToolBar->setObjectName(QStringLiteral("tbInput"));
    new QHBoxLayout(FToolBar);
    FToolBar->layout()->setContentsMargins(0, 0, 0, 0);
    QToolButton* font = AddToolButton(FToolBar, "tbChangeFont", QLM_TEXT("Change &Font"));
    font->setToolTip(Translate(QLM_TEXT("Change font")));
    font->setCheckable(true);
    connect(font, &QToolButton::toggled, FFontBar, &QWidget::setVisible);
    connect(AddToolButton(FToolBar, "tbInsert", QLM_TEXT("&Insert Image")), &QToolButton::clicked, this, [this] {
        if (!FInput->isReadOnly()) FInput->InsertImageCommand();
    });
    connect(AddToolButton(FToolBar, "tbEmotion", QLM_TEXT("&Emotions")), &QToolButton::clicked, this,
            &TNewMsgForm::OpenEmotions);
    QToolButton* capture = AddToolButton(FToolBar, "tbCaptureScreen", QLM_TEXT("&Capture Screen"));
    capture->setToolTip(Translate(QLM_TEXT("Capture sceen")));
    auto* captureMenu = new QMenu(capture);
    captureMenu->setObjectName(QStringLiteral("pmCaptureScreen"));
    QAction* captureItem =
        captureMenu->addAction(TranslateFormat(QLM_TEXT("%s...   Ctrl+Alt+A"), {Translate(QLM_TEXT("&Capture Screen"))}));
    captureItem->setObjectName(QStringLiteral("miCaptureScreen"));
    QAction* hide = captureMenu->addAction(Translate(QLM_TEXT("&Hide this window when capture")));
    hide->setObjectName(QStringLiteral("miHideWhenCapture"));
    hide->setCheckable(true);
    hide->setChecked(p[bpHideWhenCaptureScreen]);
    connect(hide, &QAction::toggled, this, [](bool on) { Params()[bpHideWhenCaptureScreen] = on; });
    capture->setMenu(captureMenu);
    connect(capture, &QToolButton::clicked, this, &TNewMsgForm::StartScreenCapture);
    connect(captureItem, &QAction::triggered, this, &TNewMsgForm::StartScreenCapture);
    connect(AddToolButton(FToolBar, "tbLogManage", QLM_TEXT("&Log Management...")), &QToolButton::clicked, this, [this] {
        if (FContext.OpenLogManager) FContext.OpenLogManager();
    });
    static_cast<QHBoxLayout*>(FToolBar->layout())->addStretch();
    layout->addWidget(FToolBar);

    FInput = new TRichInputBox(p, panel);
    FInput->setObjectName(QStringLiteral("RichED"));
    FInput->SetRecipientCount(int(FRecipients.size()));
    FInput->installEventFilter(this);
    connect(FInput, &TRichInputBox::FileSendRequested, this,
            [this](const QStringList& paths) {
                emit FileSendRequested(FRecipients, paths);
                if (FContext.SendFiles) FContext.SendFiles(FRecipients, FUseNickname, paths);
            });
    layout->addWidget(FInput, 1);

    auto* buttons = new QHBoxLayout;
    auto makeButton = [&](const char* name, const QString& english) {
        auto* button = new QPushButton(Translate(english), panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    FHistoryButton = makeButton("btnHistory", QLM_TEXT("&History List"));
    FSwitchButton = makeButton("btnSwitchMode", QLM_TEXT("S&witch Mode"));
    buttons->addStretch();
    FProgress = new QLabel(panel);
    FProgress->setObjectName(QStringLiteral("lbSendProgress"));
    FProgress->hide();
    buttons->addWidget(FProgress);
    FSendButton = makeButton("btnSend", QLM_TEXT("&Send"));
    FOptionButton = new QToolButton(panel);
    FOptionButton->setObjectName(QStringLiteral("sbOption"));
    FOptionButton->setArrowType(Qt::DownArrow);
    FOptionButton->setPopupMode(QToolButton::InstantPopup);
    FSendModeMenu = new QMenu(FOptionButton);
    FSendModeMenu->setObjectName(QStringLiteral("pmSendMode"));
    auto* group = new QActionGroup(FSendModeMenu);
    QAction* enter = FSendModeMenu->addAction(Translate(QLM_TEXT("Press ENTER to Send")));
    QAction* ctrlEnter = FSendModeMenu->addAction(Translate(QLM_TEXT("Press CTRL+ENTER to Send")));
    enter->setObjectName(QStringLiteral("miEnterToSend"));
    ctrlEnter->setObjectName(QStringLiteral("miCtrlEnterToSend"));
    for (QAction* a : {enter, ctrlEnter}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    connect(FSendModeMenu, &QMenu::aboutToShow, this, [enter, ctrlEnter] {
        (Params()[bpPressEnterToSend] ? enter : ctrlEnter)->setChecked(true);
    });
    connect(enter, &QAction::triggered, this, [] { Params()[bpPressEnterToSend] = true; });
    connect(ctrlEnter, &QAction::triggered, this, [] { Params()[bpPressEnterToSend] = false; });
    FOptionButton->setMenu(FSendModeMenu);
    buttons->addWidget(FOptionButton);
    FCloseButton = makeButton("btnClose", QLM_TEXT("&Close"));
    layout->addLayout(buttons);

    connect(FHistoryButton, &QPushButton::clicked, this, &TNewMsgForm::ToggleHistory);
    connect(FSwitchButton, &QPushButton::clicked, this, &TNewMsgForm::SwitchModeExecute);
    connect(FSendButton, &QPushButton::clicked, this, &TNewMsgForm::SendExecute);
    connect(FCloseButton, &QPushButton::clicked, this, &QWidget::close);
    return panel;
}

// ------------------------------------------------------------------ kinds

void TNewMsgForm::SetInputReadOnly(bool readOnly) {
    FInput->setReadOnly(readOnly);
    QPalette palette = FInput->palette();
    palette.setColor(QPalette::Base, readOnly ? ReadBackground : this->palette().color(QPalette::Base));
    FInput->setPalette(palette);
}

void TNewMsgForm::Setup(const QString& timeText, const QByteArray& content, qint16 languageId) {
    TApplicationParams& p = Params();
    const bool qualifies = FRecipients.size() == 1 && !FBroadcastMode;
    const bool chat = qualifies && p[bpChatMode];
    SetChatLayout(chat);
    if (!chat)
        FSwitchButton->setEnabled(!FBroadcastMode && FRecipients.size() <= 1 && (p[bpChatMode] || FSendMode));
    const QString sender = FRecipients.isEmpty() ? QString() : DisplayNameOf(FRecipients.first());
    const qint16 language = languageId ? languageId : FContext.Lang->LanguageId();
    if (FSendMode && FBroadcastMode) {
        FHeader->SetQLMRecipients(Translate(QLM_TEXT("All Computers")));
        setWindowTitle(Translate(QLM_TEXT("Broadcast")));
        FToolBar->setEnabled(false);
        FInput->SetPlainTextMode(true);
        FInput->setAcceptRichText(false);
        FInput->SetMaxLength(BroadcastMaxLength);
        FInputLinks->SetActive(false);
        QFont font = FInput->font();
        if (p[ipRichEditFontSize] > 0) font.setPointSize(p[ipRichEditFontSize]);
        FInput->setFont(font);
    } else if (FSendMode) {
        FHeader->SetQLMRecipients(FRecipientsText);
        setWindowTitle(chat ? FRecipientsText : TranslateFormat(QLM_TEXT("Send message to %s"), {FRecipientsText}));
    } else if (FBroadcastMode) {
        FHeader->SetQLMRecipients(sender);
        setWindowTitle(TranslateFormat(QLM_TEXT("Broadcast message from %s"), {sender}));
        FSendButton->setEnabled(false);
        FOptionButton->setEnabled(false);
        FToolBar->setEnabled(false);
        FInput->SetPlainTextMode(true);
        FInput->setPlainText(FContext.Lang->ConvertIncomingText(language, content));
        SetInputReadOnly(true);
        FSendButton->setText(Translate(QLM_TEXT("&Reply")));
        QFont font = FInput->font();
        if (p[ipRichEditFontSize] > 0) font.setPointSize(p[ipRichEditFontSize]);
        FInput->setFont(font);
    } else if (chat) {
        FHeader->SetQLMRecipients(sender);
        setWindowTitle(sender);
        FSendMode = true;
        AppendToChat(sender, timeText, ReadBody(content, language), true, false);
        PullQueued();
    } else {
        FHeader->SetQLMRecipients(sender);
        setWindowTitle(TranslateFormat(QLM_TEXT("Message from %s"), {sender}));
        if (const std::optional<TRichDocument> rich = ReadRtfFrom(content, language))
            FInput->SetDocument(*rich);
        else
            FInput->setPlainText(FContext.Lang->ConvertIncomingText(language, content));
        SetInputReadOnly(true);
        FToolBar->setEnabled(false);
        FSendButton->setText(Translate(QLM_TEXT("&Reply")));
    }
    ResetInputFormat();
    ApplySize();
    move(p[ipMessageFormLeft], p[ipMessageFormTop]);
}

void TNewMsgForm::PullQueued() {
    if (!FContext.TakeQueued || FRecipients.size() != 1) return;
    for (const TBroadcastData& record : FContext.TakeQueued(FRecipients.first())) AppendIncoming(record);
}

// ------------------------------------------------------------------ layouts

void TNewMsgForm::SetChatLayout(bool chat) {
    FInChatMode = chat;
    FChatPane->setVisible(chat);
    FSwitchButton->setEnabled(chat || FSwitchButton->isEnabled());
    emit ChatEntryChanged();
}

void TNewMsgForm::ToggleChatMode() {
    SetChatLayout(!FInChatMode);
    if (FInChatMode) FSwitchButton->setEnabled(true);
    ApplySize();
}

void TNewMsgForm::ApplySize() {
    const TApplicationParams& p = Params();
    if (FInChatMode) {
        resize(qMax(minimumWidth(), p[ipMessageFormChatWidth]), qMax(300, p[ipMessageFormChatHeight]));
        const int input = qMax(60, p[ipMessageFormInputHeight]);
        FChatSplitter->setSizes({qMax(40, height() - input), input});
    } else {
        resize(qMax(minimumWidth(), p[ipMessageFormWidth]), qMax(300, p[ipMessageFormHeight]));
    }
}

void TNewMsgForm::SaveSize() {
    TApplicationParams& p = Params();
    const QRect bounds = isMaximized() && FRestoreBounds.isValid() ? FRestoreBounds : geometry();
    if (FInChatMode) {
        p[ipMessageFormChatWidth] = bounds.width();
        p[ipMessageFormChatHeight] = bounds.height();
        p[ipMessageFormInputHeight] = FInputPanel->height();
    } else {
        p[ipMessageFormWidth] = bounds.width();
        p[ipMessageFormHeight] = bounds.height();
    }
}

void TNewMsgForm::SwitchModeExecute() {
    if (FHistory->isVisible()) ToggleHistory();
    SaveSize();
    const QString name = FRecipients.isEmpty() ? QString() : DisplayNameOf(FRecipients.first());
    setWindowTitle(FInChatMode ? TranslateFormat(QLM_TEXT("Send message to %s"), {name}) : name);
    ToggleChatMode();
    Params()[bpChatMode] = FInChatMode;
    FInput->setFocus();
}

void TNewMsgForm::ToggleHistory() {
    if (FHistory->isVisible()) {
        // The panel may have been dragged taller or shorter: the window gives
        // back what it has now, and the next showing uses that height again.
        const int shown = FHistory->height();
        Params()[ipMessageFormRecordHeight] = shown;
        FHistory->hide();
        resize(width(), height() - shown - FRecordSplitter->handleWidth());
        return;
    }
    const int grow = FHistory->PanelHeight() + FRecordSplitter->handleWidth();
    FHistoryButton->setEnabled(false);
    const int upper = FChatSplitter->height();
    resize(width(), height() + grow);
    FHistory->show();
    FRecordSplitter->setSizes({upper, FHistory->PanelHeight()});
    FHistory->Opened();
    FHistoryButton->setEnabled(true);
}

// ------------------------------------------------------------------ window

void TNewMsgForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FChatPane->moveCursor(QTextCursor::End);
    FInput->moveCursor(QTextCursor::End);
    FInput->setFocus();
}

void TNewMsgForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (isMaximized() && !(change->oldState() & Qt::WindowMaximized)) FRestoreBounds = normalGeometry();
    }
    QWidget::changeEvent(event);
}

void TNewMsgForm::closeEvent(QCloseEvent* event) {
    // A running send goes on: the window hides and closes once the job is done,
    // after its box of recipients not reached.
    if (IsSending()) {
        FCloseWhenSent = true;
        FClosing = true;
        emit ChatEntryChanged();
        hide();
        event->ignore();
        return;
    }
    if (FHistory->isVisible()) ToggleHistory();
    FHistory->Release();
    FClosing = true;
    emit ChatEntryChanged();
    TApplicationParams& p = Params();
    const QRect bounds = isMaximized() && FRestoreBounds.isValid() ? FRestoreBounds : geometry();
    p[ipMessageFormLeft] = bounds.left();
    p[ipMessageFormTop] = bounds.top();
    SaveSize();
    QWidget::closeEvent(event);
}
