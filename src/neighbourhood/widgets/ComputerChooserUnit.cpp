#include "neighbourhood/widgets/ComputerChooserUnit.h"

#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QDialogButtonBox>
#include <QLabel>
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
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FButtons->button(QDialogButtonBox::Ok)->setText(Translate(QStringLiteral("OK")));
    FButtons->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    layout->addWidget(FButtons);
    connect(FButtons, &QDialogButtonBox::accepted, this, [this] {
        if (Chosen()) accept();
    });
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FTree, &QTreeWidget::currentItemChanged, this, &TComputerChooser::UpdateOk);
    // Enter or a double click on a computer chooses it.
    connect(FTree, &TNetworkTree::CommandRequested, this, [this] {
        if (Chosen()) accept();
    });
    resize(320, 380);
    FTree->LoadNetworkRoot();
    UpdateOk();
}

std::optional<TRecipient> TComputerChooser::Chosen() const {
    const std::optional<TNetItem> item = TNetworkTree::ItemOf(FTree->currentItem());
    if (!item || !item->IsComputer()) return std::nullopt;
    return TNetworkTree::RecipientOf(*item);
}

void TComputerChooser::UpdateOk() { FButtons->button(QDialogButtonBox::Ok)->setEnabled(Chosen().has_value()); }

std::optional<TRecipient> TComputerChooser::Choose(TNeighbourhoodService& service, QWidget* owner,
                                                   const QString& title) {
    TComputerChooser dialog(service, title, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
}
