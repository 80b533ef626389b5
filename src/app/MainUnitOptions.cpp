// The main window's way to the options dialog, and "Refresh Windows &Network" in View.
#include "app/MainUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "node/NodeUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/OptionUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QMenu>

namespace {

// Moves item in front of before (at the end when before is null).
void PlaceBefore(QMenu* menu, QAction* item, QAction* before) {
    menu->removeAction(item);
    menu->insertAction(before, item);
}

} // namespace

void TMainForm::BuildOptionItems() {
    const QIcon settings = TAppImages::Instance().Icon(QStringLiteral("TRAYICONMENU_SETTINGS"));
    // Tools: "&Options..." last, after "&Play Sound" and a separator.
    auto* tools = findChild<QMenu*>(QStringLiteral("miMainTools"));
    tools->addSeparator();
    QAction* options = AddItem(tools, "miMainSettings", QLM_TEXT("&Options..."));
    options->setIcon(settings);
    connect(options, &QAction::triggered, this, &TMainForm::LoadOptionsFormExecute);
    // Tray: after "&Play Sound".
    QAction* traySound = Action(QStringLiteral("miTrayIconMenuPlaySound"));
    const QList<QAction*> trayItems = FTrayMenu->actions();
    QAction* afterSound = trayItems.value(trayItems.indexOf(traySound) + 1);
    QAction* trayOptions = AddItem(FTrayMenu, "miTrayIconMenuSettings", QLM_TEXT("&Options..."));
    trayOptions->setIcon(settings);
    PlaceBefore(FTrayMenu, trayOptions, afterSound);
    connect(trayOptions, &QAction::triggered, this, &TMainForm::LoadOptionsFormExecute);

    // "Refresh Windows &Network" after "Refresh Online &User"; enabled with the network panel.
    if (QAction* refreshList = Action(QStringLiteral("miMainRefreshList"))) {
        auto* view = qobject_cast<QMenu*>(refreshList->parent());
        const QList<QAction*> viewItems = view->actions();
        QAction* refreshNetwork = AddItem(view, "miMainRefreshNetwork", QLM_TEXT("Refresh Windows &Network"));
        PlaceBefore(view, refreshNetwork, viewItems.value(viewItems.indexOf(refreshList) + 1));
        refreshNetwork->setEnabled(FNavBar->ActiveGroupIndex() == NetworkPanel);
        connect(refreshNetwork, &QAction::triggered, this, &TMainForm::ReloadNetworkTreeExecute);
    }
}

void TMainForm::LoadOptionsFormExecute() {
    TOptionContext context;
    context.Interfaces = FNode->Local().LocalInterfaces();
    context.ListeningPort = FNode->IsListening() ? FNode->Server().TcpPort() : 0;
    context.MessageBox = FMessageBox;
    if (FOptionHook) FOptionHook(context);
    TOptionForm dialog(Params(), std::move(context), this);
    if (dialog.exec() == QDialog::Accepted) ApplyOptions();
}

void TMainForm::ApplyOptions() {
    const TApplicationParams& p = Params();
    for (const char* name : {"miMainPlaySound", "miTrayIconMenuPlaySound"})
        Action(QString::fromLatin1(name))->setChecked(p[bpPlaySound]);
    for (const char* name : {"miMainAOT", "miTrayIconMenuAlwaysOnTop"})
        Action(QString::fromLatin1(name))->setChecked(p[bpMainWindowAlwaysOnTop]);
    ApplyAlwaysOnTop(p[bpMainWindowAlwaysOnTop]);
    // What the engine holds a copy of takes the new values now; sounds, pop-ups,
    // the notification window, compression and multiple windows are read when used.
    TMessageLang::Instance().SetAutoCodeConvert(p[bpAutoCodeConvert]);
    FNode->Transfer().RefreshListenerSettings();
    // Names drawn with or without the computer name, the sound and notification lines of the tray's hint.
    FUserView->viewport()->update();
    RefreshStateTexts();
}
