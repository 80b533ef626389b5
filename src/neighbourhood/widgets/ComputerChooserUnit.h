#pragma once

#include "protocol/CommConstsUnit.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class TNeighbourhoodService;
class TNetworkTree;

// Picks one computer of the network neighbourhood: a small tree of the same
// service, where only computers can be chosen (OK, Enter or a double click).
// A name can also be typed: console messages reach computers no browse list
// knows, and a silent network must not leave the dialog useless.
class TComputerChooser : public QDialog {
    Q_OBJECT
public:
    TComputerChooser(TNeighbourhoodService& service, const QString& title, QWidget* owner = nullptr);

    TNetworkTree* Tree() const { return FTree; }
    QLineEdit* NameEdit() const { return FName; }
    // The computer chosen so far (name and address, the address empty when unknown):
    // the typed name, with the tree's address when it names the selected computer.
    std::optional<TRecipient> Chosen() const;

    // Runs the dialog modally; nothing when cancelled.
    static std::optional<TRecipient> Choose(TNeighbourhoodService& service, QWidget* owner, const QString& title);

private:
    void UpdateOk();
    void TakeSelectedName();

    TNetworkTree* FTree = nullptr;
    QLineEdit* FName = nullptr;
    QDialogButtonBox* FButtons = nullptr;
};
