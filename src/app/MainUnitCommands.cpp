// The main window's commands: states, nickname, panels, colours, language, help.
#include "app/MainUnit.h"

#include "VersionInfo.h"

#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "text/CodePageCheckUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "app/AboutUnit.h"
#include "ui/ColorSchemeUnit.h"
#include "ui/CustomControlsUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

QString TMainForm::HomePageUrl() { return QStringLiteral(QLM_HOMEPAGE "#readme"); }
QString TMainForm::IssuesUrl() { return QStringLiteral(QLM_HOMEPAGE "/issues"); }

void TMainForm::ChangeOnlineStateExecute(int tag) { FStateController->ChangeOnlineStateExecute(tag); }

void TMainForm::LoadOnlineStateFormExecute() { FStateController->LoadOnlineStateFormExecute(); }

void TMainForm::ChangeUserNameExecute() {
    QString text;
    for (;;) {
        if (!FInputText(this, Translate(QStringLiteral("Change My Nickame")),
                        Translate(QStringLiteral("Please input your new nickname(Max 20 chars).")), &text) ||
            text.isEmpty())
            return;
        // A name the code page cannot carry would reach everybody as "?": asked first,
        // and "No" goes back to the typed name.
        const QString warning = CodePageCheck::WarningText(TMessageLang::Instance().LanguageId(),
                                                           TApplicationParams::CleanNickname(text));
        if (warning.isEmpty() || FMessageBox(this, Utils::TMessageBoxKind::Question, warning) == Utils::TMessageBoxResult::Yes)
            break;
    }
    if (!FNode->ChangeNickname(text)) return;
    UpdateCaption();
    RefreshStateTexts();
}

void TMainForm::RefreshOnlineListExecute() { FNode->RefreshOnlineList(); }

void TMainForm::ChangeActiveGroupExecute(int index) { FNavBar->SetActiveGroupIndex(index); }

void TMainForm::SetOnTopExecute() {
    TApplicationParams& p = Params();
    p[bpMainWindowAlwaysOnTop] = !p[bpMainWindowAlwaysOnTop];
    Action(QStringLiteral("miMainAOT"))->setChecked(p[bpMainWindowAlwaysOnTop]);
    Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"))->setChecked(p[bpMainWindowAlwaysOnTop]);
    ApplyAlwaysOnTop(p[bpMainWindowAlwaysOnTop]);
}

void TMainForm::ApplyAlwaysOnTop(bool on) {
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on) return;
    // Changing the flag re-creates the native window, which hides it.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible) show();
}

void TMainForm::SetPlaySoundExecute() {
    TApplicationParams& p = Params();
    p[bpPlaySound] = !p[bpPlaySound];
    Action(QStringLiteral("miMainPlaySound"))->setChecked(p[bpPlaySound]);
    Action(QStringLiteral("miTrayIconMenuPlaySound"))->setChecked(p[bpPlaySound]);
}

void TMainForm::miBlueClick(const QString& scheme) {
    if (scheme.compare(Params()[spColorScheme], Qt::CaseInsensitive) == 0) return;
    ApplyColorScheme(scheme);
}

void TMainForm::miInvertClick() {
    TApplicationParams& p = Params();
    p[bpInvertGradient] = !p[bpInvertGradient];
    FInvertAction->setChecked(p[bpInvertGradient]);
    ApplyColorScheme(p[spColorScheme]);
}

void TMainForm::ApplyColorScheme(const QString& scheme) {
    const std::optional<ColorSchemes::TSchemeColors> colors = ColorSchemes::Colors(scheme);
    if (!colors) return;
    QString name;
    for (QAction* item : FColorGroup->actions()) {
        const bool mine = item->statusTip().compare(scheme, Qt::CaseInsensitive) == 0;
        item->setChecked(mine);
        if (mine) name = item->statusTip();
    }
    QPalette panel = FToolPanel->palette();
    panel.setColor(QPalette::Window, colors->Light);
    FToolPanel->setPalette(panel);
    FNavBar->SetColors(colors->Light, colors->Dark);

    const ColorSchemes::TGradient gradient = ColorSchemes::Gradient(*colors, Params()[bpInvertGradient]);
    FGradientStart = gradient.Start;
    FGradientEnd = gradient.End;
    menuBar()->setStyleSheet(
        QStringLiteral("QMenuBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2); }"
                       " QMenuBar::item { background: transparent; padding: 3px 8px; }"
                       " QMenuBar::item:selected { background: %3; }")
            .arg(gradient.Start.name(), gradient.End.name(), ColorSchemes::HotTrackColor().name()));
    FHeader->SetGradientStartColor(gradient.Start);
    FHeader->SetGradientEndColor(gradient.End);
    FHeader->update();
    SetFloatWindowColors(name, gradient.Start, gradient.End);
    FTrayMenu->SetStripColors(colors->Dark, colors->Light);
    FNotifications->SetBodyColor(gradient.Start);
    FNotifications->SetTitleColor(gradient.End);
    Params()[spColorScheme] = name;
}

bool TMainForm::ChangeInterfaceLanguageExecute(const QString& languageName) {
    const bool switched = UserInterfaceLang().SwitchLanguage(languageName);
    if (switched) TranslateCaptions();
    for (QAction* item : FLanguageGroup->actions())
        item->setChecked(item->text() == Params()[spUserInterfaceLanguageInUse]);
    return switched;
}

void TMainForm::LoadAboutFormExecute() {
    TAboutForm about(this);
    about.exec();
}

void TMainForm::LoadHelpSystemExecute() { Utils::ShowHelp(); }

void TMainForm::miMainHomePageClick() { QDesktopServices::openUrl(QUrl(HomePageUrl())); }

void TMainForm::miMainIssuesClick() { QDesktopServices::openUrl(QUrl(IssuesUrl())); }

void TMainForm::miMainCallExplorerClick() {
    const QString folder = Params()[spArrivedFilesFolder];
    // The folder may not have received anything yet.
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
