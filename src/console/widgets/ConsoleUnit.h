#pragma once

#include "console/ConsoleServiceUnit.h"

#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTextEdit;
class QPushButton;
class TApplicationParams;

// What the console window is handed. The boxes are hooks so that tests answer them.
struct TConsoleFormContext {
    TConsoleService* Service = nullptr;
    TApplicationParams* Params = nullptr;
    // An error box owned by the window; default: Utils::ShowMessageBox.
    std::function<void(QWidget* owner, const QString& text)> ShowError;
    // "&Add...": asks for a computer name; false when the user cancels.
    std::function<bool(QWidget* owner, QString* name)> AskComputerName;
    // The logged-on user's name for "&Use User Name".
    std::function<QString()> UserName;
};

// The rows of the consignee list: a computer icon, a red cross over it when
// the last send failed, the name at 22 pixels and the error text after it.
class TConsigneeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // The row's record: the target name is the item's text, this role its error.
    static constexpr int ErrorTextRole = Qt::UserRole + 1;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// "Send Console Message": a plain text to computers of the Windows network.
// Each recipient is sent to at once off the GUI thread; the window stays
// responsive meanwhile, keeps the failed rows with their cross and closes
// when none is left.
class TConsoleForm : public QWidget {
    Q_OBJECT
public:
    // names: computer names separated by tab characters; empty pieces add nothing.
    TConsoleForm(TConsoleFormContext context, const QString& names, QWidget* parent = nullptr);
    ~TConsoleForm() override;

    static constexpr int MaxChars = 885;

    void AddConsignee(const QString& name);
    bool Busy() const { return FJob != nullptr; }
    QListWidget* List() const { return FList; }

signals:
    // A send ended: every row that succeeded is gone.
    void SendFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateIndicator();
    void UpdateSendEnabled();
    void SendClick();
    void AddClick();
    void DeleteClick();
    void ClearClick();
    void RecipientDone(int index, const TConsoleRecipientResult& result);
    void JobFinished(const QList<TConsoleRecipientResult>& results);
    void SetBusy(bool busy);

    TConsoleFormContext FContext;
    QTextEdit* FMessage = nullptr;
    QLabel* FIndicator = nullptr;
    QListWidget* FList = nullptr;
    QCheckBox* FUseName = nullptr;
    QLineEdit* FNickname = nullptr;
    QPushButton* FSend = nullptr;
    QPushButton* FClear = nullptr;
    QPushButton* FAdd = nullptr;
    QPushButton* FDelete = nullptr;
    QPushButton* FClose = nullptr;
    QLabel* FBusyLabel = nullptr;
    QPointer<TConsoleJob> FJob;
    QList<int> FJobRows; // list row of each recipient of the running job, -1 once deleted
};
