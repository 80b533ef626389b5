#pragma once

#include "protocol/CommConstsUnit.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class TNeighbourhoodService;
class TNetworkTree;

// Picks one computer of the network neighbourhood: a small tree of the same
// service, where only computers can be chosen (OK, Enter or a double click).
class TComputerChooser : public QDialog {
    Q_OBJECT
public:
    TComputerChooser(TNeighbourhoodService& service, const QString& title, QWidget* owner = nullptr);

    TNetworkTree* Tree() const { return FTree; }
    // The computer chosen so far (name and address, the address empty when unknown).
    std::optional<TRecipient> Chosen() const;

    // Runs the dialog modally; nothing when cancelled.
    static std::optional<TRecipient> Choose(TNeighbourhoodService& service, QWidget* owner, const QString& title);

private:
    void UpdateOk();

    TNetworkTree* FTree = nullptr;
    QDialogButtonBox* FButtons = nullptr;
};
