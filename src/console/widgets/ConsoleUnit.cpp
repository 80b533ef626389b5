#include "console/widgets/ConsoleUnit.h"

#include "console/ConsoleServiceUnit.h"
#include "core/ParamsUnit.h"
#include "platform/IdentityUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowHeight = 16;
constexpr int kIconLeft = 2;
constexpr int kNameLeft = 22;
constexpr int kIconSize = 16;
constexpr int kCrossSize = 9;
constexpr int kMaxSenderChars = 254;

QPushButton* Button(QWidget* owner, const char* name, const QString& english) {
    auto* b = new QPushButton(Translate(english), owner);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

void TConsigneeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    const QRect iconRect(option.rect.left() + kIconLeft, option.rect.top() + (option.rect.height() - kIconSize) / 2,
                         kIconSize, kIconSize);
    TAppImages::Instance().Icon(QStringLiteral("SHELL_COMPUTER")).paint(painter, iconRect);
    const QString error = index.data(ErrorTextRole).toString();
    if (!error.isEmpty()) {
        const QRect cross(iconRect.right() - kCrossSize + 1, iconRect.bottom() - kCrossSize + 1, kCrossSize, kCrossSize);
        TAppImages::Instance().Icon(QStringLiteral("SMALL_REDCROSS")).paint(painter, cross);
    }
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
    const QString name = index.data(Qt::DisplayRole).toString();
    QRect textRect = option.rect.adjusted(kNameLeft, 0, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    if (!error.isEmpty()) {
        textRect.setLeft(textRect.left() + option.fontMetrics.horizontalAdvance(name) + option.fontMetrics.averageCharWidth());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, error);
    }
    painter->restore();
}

QSize TConsigneeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width() + kNameLeft, qMax(kRowHeight, option.fontMetrics.height()));
}

TConsoleForm::TConsoleForm(TConsoleFormContext context, const QString& names, QWidget* parent)
    : QWidget(parent, Qt::Window), FContext(std::move(context)) {
    setObjectName(QStringLiteral("ConsoleForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Translate(QStringLiteral("Send Console Message")));
    setWindowIcon(TAppImages::Instance().Icon(QStringLiteral("TRAYICONMENU_CONSOLEMESSAGE")));
    if (!FContext.ShowError)
        FContext.ShowError = [](QWidget* owner, const QString& text) {
            Utils::ShowMessageBox(owner, false, Utils::TMessageBoxKind::Error, text);
        };
    if (!FContext.AskComputerName)
        FContext.AskComputerName = [](QWidget* owner, QString* name) {
            bool ok = false;
            *name = QInputDialog::getText(owner, Translate(QStringLiteral("Choose a computer from windows network.")),
                                          Translate(QStringLiteral("Computer name:")), QLineEdit::Normal, QString(), &ok);
            return ok;
        };
    if (!FContext.UserName) FContext.UserName = [] { return Platform::UserName(); };

    auto* messageLabel = new QLabel(Translate(QStringLiteral("&Message")), this);
    messageLabel->setObjectName(QStringLiteral("lblMessage"));
    FMessage = new QTextEdit(this);
    FMessage->setObjectName(QStringLiteral("mmMessage"));
    // Plain text only: pasted formatting is dropped, as the wire has none.
    FMessage->setAcceptRichText(false);
    messageLabel->setBuddy(FMessage);
    FIndicator = new QLabel(this);
    FIndicator->setObjectName(QStringLiteral("lblIndicator"));
    auto* consigneeLabel = new QLabel(Translate(QStringLiteral("Consign&ee")), this);
    consigneeLabel->setObjectName(QStringLiteral("lblConsignee"));
    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("lbList"));
    FList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FList->setItemDelegate(new TConsigneeDelegate(FList));
    FList->setUniformItemSizes(true);
    consigneeLabel->setBuddy(FList);
    FUseName = new QCheckBox(Translate(QStringLiteral("&Use User Name")), this);
    FUseName->setObjectName(QStringLiteral("cbNickname"));
    FNickname = new QLineEdit(this);
    FNickname->setObjectName(QStringLiteral("edtNickname"));
    FNickname->setMaxLength(kMaxSenderChars);
    FSend = Button(this, "btnSend", QStringLiteral("&Send"));
    FClose = Button(this, "btnCancel", QStringLiteral("&Close"));
    FClear = Button(this, "btnClear", QStringLiteral("Clea&r"));
    FAdd = Button(this, "btnAddStation", QStringLiteral("&Add..."));
    FDelete = Button(this, "btnDelete", QStringLiteral("&Delete"));
    FBusyLabel = new QLabel(Translate(QStringLiteral("Sending...")), this);
    FBusyLabel->setObjectName(QStringLiteral("lblBusy"));
    FBusyLabel->hide();

    auto* layout = new QGridLayout(this);
    auto* messageHead = new QHBoxLayout;
    messageHead->addWidget(messageLabel);
    messageHead->addStretch();
    messageHead->addWidget(FIndicator);
    layout->addLayout(messageHead, 0, 0);
    layout->addWidget(FMessage, 1, 0);
    auto* sender = new QHBoxLayout;
    sender->addWidget(FUseName);
    sender->addWidget(FNickname, 1);
    layout->addLayout(sender, 2, 0);
    layout->addWidget(consigneeLabel, 3, 0);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(FList, 1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(FAdd);
    listButtons->addWidget(FDelete);
    listButtons->addStretch();
    listRow->addLayout(listButtons);
    layout->addLayout(listRow, 4, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FBusyLabel);
    buttons->addStretch();
    buttons->addWidget(FClear);
    buttons->addWidget(FSend);
    buttons->addWidget(FClose);
    layout->addLayout(buttons, 5, 0);

    for (const QString& name : names.split(QLatin1Char('\t')))
        if (!name.trimmed().isEmpty()) AddConsignee(name.trimmed());
    FList->clearSelection();

    connect(FMessage, &QTextEdit::textChanged, this, [this] {
        const QString text = FMessage->toPlainText();
        if (text.size() > MaxChars) {
            // Typed or pasted beyond the limit: keep the first MaxChars.
            QTextCursor cursor = FMessage->textCursor();
            const int position = qMin(cursor.position(), MaxChars);
            QSignalBlocker block(FMessage);
            FMessage->setPlainText(text.left(MaxChars));
            cursor = FMessage->textCursor();
            cursor.setPosition(position);
            FMessage->setTextCursor(cursor);
        }
        UpdateIndicator();
        UpdateSendEnabled();
    });
    connect(FSend, &QPushButton::clicked, this, &TConsoleForm::SendClick);
    connect(FClose, &QPushButton::clicked, this, &QWidget::close);
    connect(FClear, &QPushButton::clicked, this, &TConsoleForm::ClearClick);
    connect(FAdd, &QPushButton::clicked, this, &TConsoleForm::AddClick);
    connect(FDelete, &QPushButton::clicked, this, &TConsoleForm::DeleteClick);
    connect(FUseName, &QCheckBox::clicked, this, [this] { FNickname->setText(FContext.UserName()); });

    if (FContext.Params) move((*FContext.Params)[ipConsoleFormLeft], (*FContext.Params)[ipConsoleFormTop]);
    UpdateIndicator();
    UpdateSendEnabled();
}

TConsoleForm::~TConsoleForm() = default;

void TConsoleForm::AddConsignee(const QString& name) {
    auto* item = new QListWidgetItem(name, FList);
    item->setToolTip(name);
    UpdateSendEnabled();
}

void TConsoleForm::UpdateIndicator() {
    FIndicator->setText(TranslateFormat(QStringLiteral("Chars: %d / Max Chars: %d"),
                                        {qint64(FMessage->toPlainText().size()), qint64(MaxChars)}));
}

void TConsoleForm::UpdateSendEnabled() {
    FSend->setEnabled(!Busy() && !FMessage->toPlainText().isEmpty() && FList->count() > 0);
}

void TConsoleForm::ClearClick() {
    if (FMessage->toPlainText().isEmpty()) return;
    FMessage->clear();
    FMessage->setFocus();
}

void TConsoleForm::AddClick() {
    QString name;
    if (!FContext.AskComputerName(this, &name) || name.trimmed().isEmpty()) return;
    AddConsignee(name.trimmed());
    FList->clearSelection();
    FList->setCurrentRow(FList->count() - 1);
    FList->item(FList->count() - 1)->setSelected(true);
    FList->setFocus();
}

void TConsoleForm::DeleteClick() {
    const QList<QListWidgetItem*> selected = FList->selectedItems();
    for (QListWidgetItem* item : selected) delete FList->takeItem(FList->row(item));
    FList->setFocus();
    UpdateSendEnabled();
}

void TConsoleForm::SetBusy(bool busy) {
    // Busy, not blocked: the window still paints and can be moved or closed.
    if (busy) setCursor(Qt::BusyCursor);
    else unsetCursor();
    FBusyLabel->setVisible(busy);
    FAdd->setEnabled(!busy);
    FDelete->setEnabled(!busy);
    FMessage->setReadOnly(busy);
    FNickname->setReadOnly(busy);
    FUseName->setEnabled(!busy);
    UpdateSendEnabled();
}

void TConsoleForm::SendClick() {
    if (Busy() || !FContext.Service || FList->count() == 0 || FMessage->toPlainText().isEmpty()) return;
    TConsoleJobRequest request;
    FJobRows.clear();
    for (int row = 0; row < FList->count(); ++row) {
        request.Recipients << FList->item(row)->text();
        FJobRows << row;
    }
    if (FUseName->isChecked() && !FNickname->text().isEmpty()) request.Sender = FNickname->text();
    request.Text = FMessage->toPlainText();
    FJob = FContext.Service->StartSend(request);
    connect(FJob, &TConsoleJob::RecipientDone, this, &TConsoleForm::RecipientDone);
    connect(FJob, &TConsoleJob::JobFinished, this, &TConsoleForm::JobFinished);
    SetBusy(true);
}

void TConsoleForm::RecipientDone(int index, const TConsoleRecipientResult& result) {
    QListWidgetItem* item = FList->item(FJobRows.value(index, -1));
    if (!item) return;
    item->setData(TConsigneeDelegate::ErrorTextRole,
                  result.Outcome.Sent() ? QString() : Translate(QStringLiteral("Error occurred.")));
    item->setToolTip(result.Outcome.Sent() ? item->text() : result.ErrorText);
}

void TConsoleForm::JobFinished(const QList<TConsoleRecipientResult>& results) {
    FJob = nullptr;
    SetBusy(false);
    // Rows that went leave the list; each failure gets its box, in list order.
    for (int row = FList->count() - 1; row >= 0; --row)
        if (FList->item(row)->data(TConsigneeDelegate::ErrorTextRole).toString().isEmpty()) delete FList->takeItem(row);
    UpdateSendEnabled();
    emit SendFinished();
    if (FList->count() == 0) {
        close();
        return;
    }
    for (const TConsoleRecipientResult& result : results)
        if (!result.Outcome.Sent()) FContext.ShowError(this, result.ErrorText);
}

void TConsoleForm::closeEvent(QCloseEvent* event) {
    if (FContext.Params) {
        const QRect bounds = isMaximized() ? normalGeometry() : geometry();
        (*FContext.Params)[ipConsoleFormLeft] = bounds.left();
        (*FContext.Params)[ipConsoleFormTop] = bounds.top();
    }
    QWidget::closeEvent(event);
}
