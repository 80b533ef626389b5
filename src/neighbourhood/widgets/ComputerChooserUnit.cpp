#include "neighbourhood/widgets/ComputerChooserUnit.h"

#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TComputerChooser::TComputerChooser(TNeighbourhoodService& service, const QString& title, QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("ComputerChooser"));
    setWindowTitle(QStringLiteral("Quillmate"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(TAppImages::Instance().Icon(QStringLiteral("SEND_BROWSECOMPUTER")));
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(title, this);
    caption->setObjectName(QStringLiteral("lblTitle"));
    caption->setWordWrap(true);
    layout->addWidget(caption);
    FTree = new TNetworkTree(service, TNetworkTree::tmChooser, this);
    FTree->setObjectName(QStringLiteral("tvComputers"));
    layout->addWidget(FTree, 1);
    FName = new QLineEdit(this);
    FName->setObjectName(QStringLiteral("edtName"));
    FName->setMaxLength(63);
    auto* nameRow = new QFormLayout();
    nameRow->addRow(Translate(QStringLiteral("Computer name:")), FName);
    layout->addLayout(nameRow);
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FButtons->button(QDialogButtonBox::Ok)->setText(Translate(QStringLiteral("OK")));
    FButtons->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    layout->addWidget(FButtons);
    connect(FButtons, &QDialogButtonBox::accepted, this, [this] {
        if (Chosen()) accept();
    });
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FTree, &QTreeWidget::currentItemChanged, this, &TComputerChooser::TakeSelectedName);
    connect(FName, &QLineEdit::textChanged, this, &TComputerChooser::UpdateOk);
    // Enter or a double click on a computer chooses it.
    connect(FTree, &TNetworkTree::CommandRequested, this, [this] {
        if (Chosen()) accept();
    });
    resize(320, 380);
    FTree->LoadNetworkRoot();
    FName->setFocus();
    UpdateOk();
}

std::optional<TRecipient> TComputerChooser::Chosen() const {
    const QString name = FName->text().trimmed();
    if (name.isEmpty()) return std::nullopt;
    const std::optional<TNetItem> item = TNetworkTree::ItemOf(FTree->currentItem());
    if (item && item->IsComputer()) {
        TRecipient selected = TNetworkTree::RecipientOf(*item);
        if (selected.ComputerName.compare(name, Qt::CaseInsensitive) == 0) return selected;
    }
    TRecipient typed;
    typed.ComputerName = name;
    return typed;
}

void TComputerChooser::TakeSelectedName() {
    const std::optional<TNetItem> item = TNetworkTree::ItemOf(FTree->currentItem());
    if (item && item->IsComputer()) FName->setText(TNetworkTree::RecipientOf(*item).ComputerName);
    UpdateOk();
}

void TComputerChooser::UpdateOk() { FButtons->button(QDialogButtonBox::Ok)->setEnabled(Chosen().has_value()); }

std::optional<TRecipient> TComputerChooser::Choose(TNeighbourhoodService& service, QWidget* owner,
                                                   const QString& title) {
    TComputerChooser dialog(service, title, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
}
