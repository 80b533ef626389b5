#pragma once

#include "protocol/PortCheckUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class TApplicationParams;

// What the options dialog works with besides the settings; the desktop fills
// it, tests give their own boxes, folder chooser and port check.
struct TOptionContext {
    // The local interfaces as "address=mask" lines (the local decisions' list).
    QStringList Interfaces;
    // The port the node listens on now; 0 when it does not listen.
    quint16 ListeningPort = 0;
    std::function<Utils::TMessageBoxResult(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text)> MessageBox;
    // The folder chosen; empty on Cancel.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> ChooseFolder;
    std::function<TPortCheck(quint16 port)> CheckPort;
};

// The modal options dialog: three pages over the settings marked O. Nothing
// is stored until OK; OK checks the network settings first and then stores
// and saves them all.
class TOptionForm : public QDialog {
    Q_OBJECT
public:
    enum TPage { pgGeneral, pgConnection, pgMisc };
    static constexpr int MinPort = 1025;
    static constexpr int MaxPort = 65535;

    TOptionForm(TApplicationParams& params, TOptionContext context, QWidget* parent = nullptr);
    ~TOptionForm() override;

    // Every control from the settings and page General (done on showing).
    void LoadSettings();
    // The controls (not the settings) to the reset values.
    void ResetToDefault();
    // btnEnter: validation, store, save, the restart notice; false while the
    // dialog stays open.
    bool btnEnterClick();
    // btnAddList: the address field into the list.
    void AddAddress();
    void RemoveAddress();
    // sbtnSelectFolder: a folder that cannot be written is refused at once.
    void SelectFolder();
    // The "Test" beside the port: what the label says afterwards.
    QString TestPort();
    void ShowPage(int page);
    int CurrentPage() const;
    // True after an OK that changed the port (the notice was shown).
    bool RestartNeeded() const { return FRestartNeeded; }

    // "Auto Detect-<Recommended>" and one "IP: %s [Mask: %s]" per interface.
    static QString InterfaceCaption(const QString& line);
    // The broadcast list setting as (address, ticked) entries and back.
    struct TListEntry {
        QString Address;
        bool Ticked = false;
        bool operator==(const TListEntry&) const = default;
    };
    static QList<TListEntry> SplitBroadcastList(const QString& setting);
    static QString JoinBroadcastList(const QList<TListEntry>& entries);
    QList<TListEntry> ListEntries() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildGeneralPage();
    QWidget* BuildConnectionPage();
    QWidget* BuildMiscPage();
    // A check box with its caption, added to a page's layout.
    QCheckBox* AddCheckBox(QWidget* page, QBoxLayout* layout, const char* name, const QString& english, int help);
    void TranslateCaptions();
    void UpdateModeControls();
    void FillLanguages();
    void SetFolder(const QString& folder);
    Utils::TMessageBoxResult Box(Utils::TMessageBoxKind kind, const QString& text);
    // A number field within [low, high]; the stored value is always accepted.
    static bool ReadNumber(const QLineEdit* edit, int low, int high, int stored, int* value);

    TApplicationParams& FParams;
    TOptionContext FContext;
    QString FFolder; // the received-files folder chosen, with its trailing slash
    bool FRestartNeeded = false;
    bool FLoaded = false;

    QTreeWidget* FCategories = nullptr;
    QLabel* FPageName = nullptr;
    QLabel* FCategoriesHeader = nullptr;
    QStackedWidget* FPages = nullptr;
    QPushButton* FEnter = nullptr;
    QPushButton* FCancel = nullptr;
    QPushButton* FReset = nullptr;

    QCheckBox* FAutoRun = nullptr;
    QCheckBox* FAutoMinimize = nullptr;
    QCheckBox* FClickXMinimize = nullptr;
    QCheckBox* FAlwaysOnTop = nullptr;
    QCheckBox* FAutoConvert = nullptr;
    QCheckBox* FOnlyNick = nullptr;

    QLineEdit* FPort = nullptr;
    QPushButton* FTestPort = nullptr;
    QLabel* FPortState = nullptr;
    QRadioButton* FMulticast = nullptr;
    QRadioButton* FBroadcast = nullptr;
    QLineEdit* FGroupAddr = nullptr;
    QLineEdit* FTimeToLive = nullptr;
    QListWidget* FIPList = nullptr;
    QLineEdit* FIPAddr = nullptr;
    QPushButton* FAddList = nullptr;
    QPushButton* FRemoveList = nullptr;
    QComboBox* FInterface = nullptr;
    QComboBox* FLanguage = nullptr;

    QCheckBox* FAutoPopup = nullptr;
    QCheckBox* FAllowMulti = nullptr;
    QCheckBox* FCloseFileWindow = nullptr;
    QCheckBox* FPlaySound = nullptr;
    QCheckBox* FAutoFileTrans = nullptr;
    QCheckBox* FUseHintWindow = nullptr;
    QLineEdit* FDirectory = nullptr;
    QToolButton* FSelectFolder = nullptr;
    QSlider* FCompression = nullptr;
    QLineEdit* FUpdateKey = nullptr;

    // Captions of the controls: the object and its English text.
    struct TCaption {
        QObject* Target;
        QString English;
    };
    QList<TCaption> FCaptions;
};
