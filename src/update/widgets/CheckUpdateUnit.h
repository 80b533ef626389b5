#pragma once

#include "ui/UtilsGuiUnit.h"
#include "update/UpdateManifestUnit.h"
#include "update/UpdateServiceUnit.h"

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

// What the check window is given by the desktop.
struct TCheckUpdateContext {
    TUpdateService* Service = nullptr;
    QString ComputerName;
    QString UserId;
    QString PublicKey;     // the UpdatePublicKey setting (empty: not checked)
    QString InstallFolder; // the folder whose files the updater replaces
    bool InstallFolderWritable = true;
    // Starts our own updater with the version and the list of checked files, then ends the program.
    std::function<bool(const QString& version, const QString& installList)> StartUpdater;
    std::function<void(const QString& folder)> OpenFolder;
    // Boxes (tests answer them).
    std::function<Utils::TMessageBoxResult(QWidget*, Utils::TMessageBoxKind, const QString&)> MessageBox;
};

// The version check window ("QLM_CHECKUPDATE_CLASS"): asks the LAN for
// newer versions, lists the answers, fetches the chosen node's files into
// UPDATE, shows what came (names, sizes, SHA-256, signature) and starts the
// updater only when the user says so.
class TCheckUpdateForm : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* WindowClassName = "QLM_CHECKUPDATE_CLASS";

    explicit TCheckUpdateForm(TCheckUpdateContext context, QWidget* parent = nullptr);
    ~TCheckUpdateForm() override;

    // The open window brought forward, or a new one shown.
    static TCheckUpdateForm* ShowCheckUpdate(const TCheckUpdateContext& context);
    static TCheckUpdateForm* OpenWindow();

    void btnCheckClick();
    void btnUpdateClick();
    void btnCallUpdateAppClick();

    QTreeWidget* NewVersionList() const { return FList; }
    QPlainTextEdit* FileList() const { return FFiles; }
    QPushButton* Button(const QString& name) const;
    // The last check of the fetched set (empty before one ended).
    const std::optional<TUpdateSetCheck>& SetCheck() const { return FSetCheck; }

signals:
    // The fetched set was checked (the question follows).
    void SetChecked();

protected:
    void closeEvent(class QCloseEvent* event) override;

private:
    void AnswerArrived(const TUpdateAnswer& answer);
    void SelectionChanged();
    void FileReceived(const QString& name);
    void FilesDone(const TUpdateFilesDone& done);
    void Checked(const TUpdateSetCheck& check);
    // The question; Yes starts the updater.
    void Ask();
    QString Describe(const TUpdateSetCheck& check) const;
    Utils::TMessageBoxResult Box(Utils::TMessageBoxKind kind, const QString& text);

    TCheckUpdateContext FContext;
    QTreeWidget* FList;
    QPlainTextEdit* FFiles;
    QPushButton* FCheck;
    QPushButton* FUpdate;
    QPushButton* FCallUpdate;
    QPushButton* FClose;
    QList<TUpdateAnswer> FAnswers;
    std::optional<TUpdateAnswer> FChosen; // whose files were asked for
    QStringList FStored;
    std::optional<TUpdateSetCheck> FSetCheck;
};
