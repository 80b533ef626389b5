// The options dialog's controls: the category tree, the three pages, the buttons.
#include "ui/OptionUnit.h"

#include "core/TextFormatUnit.h"
#include "text/UILangUnit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

template <typename TControl>
TControl* Named(TControl* control, const char* name, int helpContext = 0) {
    control->setObjectName(QString::fromLatin1(name));
    if (helpContext) control->setProperty(Utils::HelpContextProperty, helpContext);
    return control;
}

const QString kCategories[] = {QLM_TEXT("General"), QLM_TEXT("Connection"), QLM_TEXT("Miscellaneous")};

} // namespace

void TOptionForm::BuildControls() {
    setObjectName(QStringLiteral("OptionForm"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    auto* outer = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);

    auto* left = new QVBoxLayout;
    FCategoriesHeader = Named(new QLabel(this), "lblCategories");
    left->addWidget(FCategoriesHeader);
    FCategories = Named(new QTreeWidget(this), "tvCategories", 10010);
    FCategories->setHeaderHidden(true);
    FCategories->setRootIsDecorated(false);
    FCategories->setFixedWidth(140);
    for (const QString& name : kCategories) new QTreeWidgetItem(FCategories, QStringList{name});
    left->addWidget(FCategories, 1);
    body->addLayout(left);

    auto* right = new QVBoxLayout;
    FPageName = Named(new QLabel(this), "lblPageName");
    QFont bold = FPageName->font();
    bold.setBold(true);
    FPageName->setFont(bold);
    FCategoriesHeader->setFont(bold);
    right->addWidget(FPageName);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    right->addWidget(line);
    FPages = new QStackedWidget(this);
    FPages->addWidget(BuildGeneralPage());
    FPages->addWidget(BuildConnectionPage());
    FPages->addWidget(BuildMiscPage());
    right->addWidget(FPages, 1);
    body->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    FReset = Named(new QPushButton(this), "btnReSet", 10009);
    buttons->addWidget(FReset);
    buttons->addStretch(1);
    FEnter = Named(new QPushButton(this), "btnEnter", 10007);
    FEnter->setDefault(true);
    FEnter->setAutoDefault(true);
    FCancel = Named(new QPushButton(this), "btnCancel", 10008);
    buttons->addWidget(FEnter);
    buttons->addWidget(FCancel);
    outer->addLayout(buttons);

    // Moving with the keyboard shows the page as a click does.
    connect(FCategories, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) ShowPage(FCategories->indexOfTopLevelItem(item));
    });
    connect(FEnter, &QPushButton::clicked, this, [this] { btnEnterClick(); });
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FReset, &QPushButton::clicked, this, &TOptionForm::ResetToDefault);

    FCaptions << TCaption{FCategoriesHeader, QLM_TEXT("Categories")} << TCaption{FEnter, QLM_TEXT("OK")}
              << TCaption{FCancel, QLM_TEXT("Cancel")} << TCaption{FReset, QLM_TEXT("R&eset to default")};
}

QCheckBox* TOptionForm::AddCheckBox(QWidget* page, QBoxLayout* layout, const char* name, const QString& english, int help) {
    auto* box = Named(new QCheckBox(page), name, help);
    layout->addWidget(box);
    FCaptions << TCaption{box, english};
    return box;
}

QWidget* TOptionForm::BuildGeneralPage() {
    auto* page = Named(new QWidget(this), "pnlGeneral");
    auto* layout = new QVBoxLayout(page);
    FAutoRun = AddCheckBox(page, layout, "cbAutoRun", QLM_TEXT("&Auto run at Windows startup"), 10011);
    FAutoMinimize = AddCheckBox(page, layout, "cbAutoMinimize", QLM_TEXT("&Minimize window to tray after startup"), 10012);
    FClickXMinimize = AddCheckBox(page, layout, "cbClickXMinimize", QLM_TEXT("Mi&nimize window to tray when click close button"), 10013);
    FAlwaysOnTop = AddCheckBox(page, layout, "cbMainAlwaysOnTop", QLM_TEXT("&Set main window always on top"), 10014);
    FAutoConvert = AddCheckBox(page, layout, "cbAutoConvert", QLM_TEXT("Auto &convert ISN (BIG5 and GB2312)"), 10033);
    FOnlyNick = AddCheckBox(page, layout, "cbOnlyNick", QLM_TEXT("&Only use nickname to show user name"), 10035);
    layout->addStretch(1);
    return page;
}

QWidget* TOptionForm::BuildConnectionPage() {
    auto* page = Named(new QWidget(this), "pnlConnection");
    auto* layout = new QVBoxLayout(page);
    auto label = [this, page](const char* name, const QString& english, QWidget* buddy) {
        auto* l = Named(new QLabel(page), name);
        l->setBuddy(buddy);
        FCaptions << TCaption{l, english};
        return l;
    };

    auto* portRow = new QHBoxLayout;
    FPort = Named(new QLineEdit(page), "EditPort", 10023);
    FPort->setMaxLength(10);
    FPort->setFixedWidth(70);
    FTestPort = Named(new QPushButton(page), "btnTestPort", 10023);
    FPortState = Named(new QLabel(page), "lblPortState");
    FPortState->setWordWrap(true);
    portRow->addWidget(label("lblPort", QLM_TEXT("&Communication Port:"), FPort));
    portRow->addWidget(FPort);
    portRow->addWidget(FTestPort);
    portRow->addWidget(FPortState, 1);
    layout->addLayout(portRow);
    FCaptions << TCaption{FTestPort, QLM_TEXT("Te&st")};
    connect(FTestPort, &QPushButton::clicked, this, [this] { TestPort(); });

    auto* modes = new QButtonGroup(page);
    auto* modeGrid = new QGridLayout;
    FMulticast = Named(new QRadioButton(page), "rbMulticast", 10015);
    FBroadcast = Named(new QRadioButton(page), "rbBroadcast", 10018);
    modes->addButton(FMulticast);
    modes->addButton(FBroadcast);
    FCaptions << TCaption{FMulticast, QLM_TEXT("Use IP &Multicast")} << TCaption{FBroadcast, QLM_TEXT("Use UDP &Broadcast")};
    FGroupAddr = Named(new QLineEdit(page), "EditGroupAddr", 10016);
    FTimeToLive = Named(new QLineEdit(page), "EditTimeToLive", 10017);
    FTimeToLive->setMaxLength(10);
    modeGrid->addWidget(FMulticast, 0, 0, 1, 2);
    modeGrid->addWidget(label("lblGroupAddr", QLM_TEXT("IP Multicast &group address:"), FGroupAddr), 1, 0);
    modeGrid->addWidget(FGroupAddr, 1, 1);
    modeGrid->addWidget(label("lblTimeToLive", QLM_TEXT("IP Multicast &time-to-live:"), FTimeToLive), 2, 0);
    modeGrid->addWidget(FTimeToLive, 2, 1);
    modeGrid->addWidget(FBroadcast, 3, 0, 1, 2);
    layout->addLayout(modeGrid);

    auto* listRow = new QHBoxLayout;
    FIPList = Named(new QListWidget(page), "clbIPList", 10019);
    FIPList->setMinimumHeight(70);
    listRow->addWidget(FIPList, 1);
    auto* listButtons = new QVBoxLayout;
    FIPAddr = Named(new QLineEdit(page), "EditIPAddr", 10020);
    FAddList = Named(new QPushButton(page), "btnAddList", 10021);
    FRemoveList = Named(new QPushButton(page), "btnRemoveList", 10022);
    listButtons->addWidget(FAddList);
    listButtons->addWidget(FRemoveList);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    listRow->addWidget(FIPAddr, 1, Qt::AlignTop);
    layout->addLayout(listRow);
    connect(FAddList, &QPushButton::clicked, this, &TOptionForm::AddAddress);
    connect(FRemoveList, &QPushButton::clicked, this, &TOptionForm::RemoveAddress);
    connect(FMulticast, &QRadioButton::toggled, this, &TOptionForm::UpdateModeControls);

    auto* lower = new QGridLayout;
    FInterface = Named(new QComboBox(page), "cbInterface", 10031);
    lower->addWidget(label("lblInterface", QLM_TEXT("Binding &Interface:"), FInterface), 0, 0);
    lower->addWidget(FInterface, 0, 1);
    FLanguage = Named(new QComboBox(page), "cbNetworkLanguage");
    lower->addWidget(label("lblNetworkLanguage", QLM_TEXT("&Network language:"), FLanguage), 1, 0);
    lower->addWidget(FLanguage, 1, 1);
    lower->setColumnStretch(1, 1);
    layout->addLayout(lower);
    auto* note = Named(new QLabel(page), "lblNextStart");
    note->setWordWrap(true);
    FCaptions << TCaption{note, QLM_TEXT("The network language and the multicast group address take effect at the next start.")};
    layout->addWidget(note);
    layout->addStretch(1);
    return page;
}

QWidget* TOptionForm::BuildMiscPage() {
    auto* page = Named(new QWidget(this), "pnlMisc");
    auto* layout = new QVBoxLayout(page);
    FAutoPopup = AddCheckBox(page, layout, "cbAutoPopup", QLM_TEXT("Auto-&popup message and file window"), 10024);
    FAllowMulti = AddCheckBox(page, layout, "cbAllowMulti", QLM_TEXT("Allow &multiple message and file windows"), 10025);
    FCloseFileWindow = AddCheckBox(page, layout, "cbCloseFileWindow", QLM_TEXT("&Close file window after successful sending"), 10027);
    FPlaySound = AddCheckBox(page, layout, "cbPlaySound", QLM_TEXT("Play soun&d"), 10029);
    FAutoFileTrans = AddCheckBox(page, layout, "cbAutoFileTrans", QLM_TEXT("Au&to accept file transfer without notification"), 10034);
    FUseHintWindow = AddCheckBox(page, layout, "cbUseHintwindow", QLM_TEXT("&Use message notification window"), 10036);

    FDirectory = Named(new QLineEdit(page), "EditDirectory", 10030);
    FDirectory->setReadOnly(true);
    auto* folderLabel = Named(new QLabel(page), "lblDirectory");
    folderLabel->setBuddy(FDirectory);
    FCaptions << TCaption{folderLabel, QLM_TEXT("&Specify a directory to store received files:")};
    layout->addWidget(folderLabel);
    auto* folderRow = new QHBoxLayout;
    FSelectFolder = Named(new QToolButton(page), "sbtnSelectFolder", 10030);
    FSelectFolder->setText(QStringLiteral("..."));
    folderRow->addWidget(FDirectory, 1);
    folderRow->addWidget(FSelectFolder);
    layout->addLayout(folderRow);
    connect(FSelectFolder, &QToolButton::clicked, this, &TOptionForm::SelectFolder);

    FCompression = Named(new QSlider(Qt::Horizontal, page), "tbCompressionRatio", 10032);
    FCompression->setRange(0, 9);
    FCompression->setPageStep(1);
    FCompression->setTickPosition(QSlider::TicksBelow);
    FCompression->setTickInterval(1);
    auto* ratioLabel = Named(new QLabel(page), "lblCompression");
    ratioLabel->setBuddy(FCompression);
    auto* low = Named(new QLabel(page), "lblLow");
    auto* high = Named(new QLabel(page), "lblHigh");
    FCaptions << TCaption{ratioLabel, QLM_TEXT("Compression &Ratio:")} << TCaption{low, QLM_TEXT("Low")}
              << TCaption{high, QLM_TEXT("High")};
    layout->addWidget(ratioLabel);
    auto* ratioRow = new QHBoxLayout;
    ratioRow->addWidget(low);
    ratioRow->addWidget(FCompression, 1);
    ratioRow->addWidget(high);
    layout->addLayout(ratioRow);

    FUpdateKey = Named(new QLineEdit(page), "EditUpdateKey", 10037);
    FUpdateKey->setMaxLength(200);
    auto* keyLabel = Named(new QLabel(page), "lblUpdateKey");
    keyLabel->setBuddy(FUpdateKey);
    FCaptions << TCaption{keyLabel, QLM_TEXT("Update signing &key (empty: unsigned updates are allowed):")};
    layout->addWidget(keyLabel);
    layout->addWidget(FUpdateKey);
    layout->addStretch(1);
    return page;
}

void TOptionForm::TranslateCaptions() {
    setWindowTitle(Translate(QStringLiteral("Options")));
    for (const TCaption& caption : FCaptions) caption.Target->setProperty("text", Translate(caption.English));
    for (int i = 0; i < FCategories->topLevelItemCount(); ++i)
        FCategories->topLevelItem(i)->setText(0, Translate(kCategories[i]));
    FAddList->setText(FormatText(QStringLiteral("<- %s"), {Translate(QStringLiteral("&Add"))}));
    FRemoveList->setText(FormatText(QStringLiteral("%s ->"), {Translate(QStringLiteral("&Remove"))}));
    FPageName->setText(Translate(kCategories[qMax(0, CurrentPage())]));
    FUpdateKey->setToolTip(Translate(QStringLiteral("Updates from other computers are installed only when signed with this Ed25519 "
                                                    "public key, as quillmate-cli update keygen prints it.")));
}
