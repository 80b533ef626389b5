// The main window's floating tags: "Show Floating Window" and their colours.
#include "app/MainUnit.h"

#include "app/DesktopUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "node/NodeUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/FloatWindowUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "transfer/widgets/FileFormUnit.h"
#include "ui/ScreenGrabUnit.h"

#include <QAction>
#include <QMenu>

void TMainForm::BuildFloatWindows() {
    TFloatWindowContext context;
    context.Model = &FNode->Model();
    context.PositionsFile = Utils::ProgramFolder() + QStringLiteral("FloatInfo.ini");
    context.Font = font();
    context.Params = &Params();
    context.CanPlace = !ScreenGrab::IsWayland();
    context.OpenMessage = [this](const TRecipient& user) { FDesktop.MessageWindows().Open(true, false, true, {user}); };
    context.SendFiles = [this](const TRecipient& user, const QStringList& paths) {
        FDesktop.FileWindows().OpenToSend({user}, true, paths);
    };
    FFloatWindows = new TOnlineFloatWindow(std::move(context), this);
    connect(FFloatWindows, &TOnlineFloatWindow::TagShown, FOnlineCommands, &TOnlineUserCommands::SetFloatingWindow);
    connect(FFloatWindows, &TOnlineFloatWindow::TagClosed, FOnlineCommands,
            [this](const QString& key) { FOnlineCommands->SetFloatingWindow(key, nullptr); });
    connect(FOnlineCommands, &TOnlineUserCommands::FloatingWindowToggleRequested, this,
            &TMainForm::ShowFloatingWindowExecute);
    if (QAction* item = FOnlineCommands->MenuAction(QStringLiteral("miOnlineShowFloatingWindow"))) item->setVisible(true);
}

void TMainForm::ShowFloatingWindowExecute(bool close) {
    const QModelIndex user = FUserView->SelectedRow();
    const TUserNodeData* node = FNode->Model().NodeData(user);
    if (!node || node->IsGroup) return;
    if (close) FFloatWindows->CloseFloatingWindow(FFloatWindows->TagOf(*node));
    else FFloatWindows->ShowFloatingWindow(user);
}

void TMainForm::SetFloatWindowColors(const QString& scheme, const QColor& start, const QColor& end) {
    if (FFloatWindows) FFloatWindows->SetFloatingWindowColors(scheme, start, end);
}
