#include "ui/OptionUnit.h"

#include "core/DottedQuadUnit.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "platform/CodePageUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "update/UpdateManifestUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryFile>
#include <QTreeWidget>
#include <algorithm>

namespace {

const QString kAutoDetect = QLM_TEXT("Auto Detect-<Recommended>");

QString LanguageName(const Platform::TKnownLanguage& language) {
    const QString name = QLocale::languageToString(language.Language);
    if (language.Territory == QLocale::AnyTerritory) return name;
    return FormatText(QStringLiteral("%s (%s)"), {name, QLocale::territoryToString(language.Territory)});
}

} // namespace

TOptionForm::TOptionForm(TApplicationParams& params, TOptionContext context, QWidget* parent)
    : QDialog(parent), FParams(params), FContext(std::move(context)) {
    if (!FContext.MessageBox)
        FContext.MessageBox = [](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
            return Utils::ShowMessageBox(owner, true, kind, text);
        };
    if (!FContext.ChooseFolder)
        FContext.ChooseFolder = [](QWidget* owner, const QString& title, const QString& start) {
            return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
        };
    if (!FContext.CheckPort)
        FContext.CheckPort = [](quint16 port) { return PortCheck::Check(port, PortCheck::ListenAddress()); };
    BuildControls();
    FInterface->addItem(kAutoDetect);
    for (const QString& line : FContext.Interfaces) FInterface->addItem(InterfaceCaption(line), line);
    FillLanguages();
    TranslateCaptions();
    FInterface->setItemText(0, Translate(kAutoDetect));
    ShowPage(pgGeneral);
}

TOptionForm::~TOptionForm() = default;

QString TOptionForm::InterfaceCaption(const QString& line) {
    return FormatText(QStringLiteral("IP: %s [Mask: %s]"), {line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1)});
}

void TOptionForm::FillLanguages() {
    const qint16 automatic = TMessageLang::SystemLanguageId();
    QList<Platform::TKnownLanguage> languages = Platform::KnownLanguages();
    // The language the locale stands for ("C" stands for English).
    QString automaticName = QLocale::languageToString(QLocale::system().language());
    for (const Platform::TKnownLanguage& language : languages)
        if (language.Id == automatic) automaticName = LanguageName(language);
    FLanguage->addItem(TranslateFormat(QStringLiteral("Automatic: %s, code page %s"),
                                       {automaticName, QString::fromLatin1(TMessageLang::CodePageName(automatic))}),
                       0);
    std::stable_sort(languages.begin(), languages.end(), [](const auto& a, const auto& b) {
        return LanguageName(a).localeAwareCompare(LanguageName(b)) < 0;
    });
    for (const Platform::TKnownLanguage& language : languages)
        FLanguage->addItem(FormatText(QStringLiteral("%s - %s"), {LanguageName(language),
                                                                  QString::fromLatin1(TMessageLang::CodePageName(language.Id))}),
                           int(language.Id));
}

void TOptionForm::showEvent(QShowEvent* event) {
    // Loaded once: showing again after a box must not undo what was typed.
    if (!FLoaded) LoadSettings();
    QDialog::showEvent(event);
}

void TOptionForm::ShowPage(int page) {
    if (page < 0 || page >= FPages->count()) return;
    FPages->setCurrentIndex(page);
    for (int i = 0; i < FPages->count(); ++i) FPages->widget(i)->setEnabled(i == page);
    if (FCategories->currentItem() != FCategories->topLevelItem(page))
        FCategories->setCurrentItem(FCategories->topLevelItem(page));
    FPageName->setText(FCategories->topLevelItem(page)->text(0));
}

int TOptionForm::CurrentPage() const { return FPages ? FPages->currentIndex() : -1; }

// ------------------------------------------------------------------ load

QList<TOptionForm::TListEntry> TOptionForm::SplitBroadcastList(const QString& setting) {
    QList<TListEntry> entries;
    for (const QString& piece : setting.split(QLatin1Char('\t'), Qt::SkipEmptyParts))
        entries.append({piece.mid(1), piece.startsWith(QLatin1Char('+'))});
    return entries;
}

QString TOptionForm::JoinBroadcastList(const QList<TListEntry>& entries) {
    QStringList pieces;
    for (const TListEntry& e : entries) pieces << (e.Ticked ? QStringLiteral("+") : QStringLiteral("-")) + e.Address;
    return pieces.join(QLatin1Char('\t'));
}

QList<TOptionForm::TListEntry> TOptionForm::ListEntries() const {
    QList<TListEntry> entries;
    for (int i = 0; i < FIPList->count(); ++i)
        entries.append({FIPList->item(i)->text(), FIPList->item(i)->checkState() == Qt::Checked});
    return entries;
}

namespace {

void AddListItem(QListWidget* list, const QString& address, bool ticked) {
    auto* item = new QListWidgetItem(address, list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

} // namespace

void TOptionForm::LoadSettings() {
    FLoaded = true;
    const TApplicationParams& p = FParams;
    ShowPage(pgGeneral);
    FAutoRun->setChecked(p[bpAutoRun]);
    FAutoMinimize->setChecked(p[bpMinimizeAfterStart]);
    FClickXMinimize->setChecked(p[bpClickCloseToMinimize]);
    FAlwaysOnTop->setChecked(p[bpMainWindowAlwaysOnTop]);
    FAutoConvert->setChecked(p[bpAutoCodeConvert]);
    FOnlyNick->setChecked(p[bpOnlyUserNickname]);

    FPort->setText(QString::number(p[ipListeningPort]));
    FPortState->clear();
    FGroupAddr->setText(p[spMulticastGroup]);
    FTimeToLive->setText(QString::number(p[ipTimeToLive]));
    FIPList->clear();
    for (const TListEntry& e : SplitBroadcastList(p[spUDPBroadcastIPList])) AddListItem(FIPList, e.Address, e.Ticked);
    FIPAddr->clear();
    (p[bpUseUDPIPMulticast] ? FMulticast : FBroadcast)->setChecked(true);
    UpdateModeControls();
    const int chosen = FInterface->findData(p[spLocalInterfaceList]);
    FInterface->setCurrentIndex(p[bpAutoDetectInterfaces] || chosen < 1 ? 0 : chosen);
    const int language = FLanguage->findData(p[ipNetworkLanguage]);
    FLanguage->setCurrentIndex(language < 0 ? 0 : language);

    FAutoPopup->setChecked(p[bpAutoPopupForm]);
    FAllowMulti->setChecked(p[bpAllowMultiForm]);
    FCloseFileWindow->setChecked(p[bpCloseAfterSendFile]);
    FPlaySound->setChecked(p[bpPlaySound]);
    FAutoFileTrans->setChecked(p[bpAutoFileTrans]);
    FUseHintWindow->setChecked(p[bpUseNotificationWindow]);
    SetFolder(p[spArrivedFilesFolder]);
    FCompression->setValue(p[ipCompressionRatio]);
    FUpdateKey->setText(p[spUpdatePublicKey]);
}

void TOptionForm::SetFolder(const QString& folder) {
    FFolder = Utils::WithTrailingSlash(QDir::fromNativeSeparators(folder));
    FDirectory->setText(QDir::toNativeSeparators(FFolder));
}

void TOptionForm::UpdateModeControls() {
    const bool multicast = FMulticast->isChecked();
    FGroupAddr->setEnabled(multicast);
    FTimeToLive->setEnabled(multicast);
    for (QWidget* control : {static_cast<QWidget*>(FIPList), static_cast<QWidget*>(FIPAddr),
                             static_cast<QWidget*>(FAddList), static_cast<QWidget*>(FRemoveList)})
        control->setEnabled(!multicast);
}

// ------------------------------------------------------------------ commands

Utils::TMessageBoxResult TOptionForm::Box(Utils::TMessageBoxKind kind, const QString& text) {
    return FContext.MessageBox(this, kind, text);
}

void TOptionForm::AddAddress() {
    const QString text = FIPAddr->text().trimmed();
    if (text.isEmpty()) return;
    const std::optional<quint32> address = ParseDottedQuad(text);
    bool listed = false;
    if (address) {
        const QString normal = FormatDottedQuad(*address);
        for (const TListEntry& e : ListEntries()) listed = listed || e.Address == normal;
        if (!listed) {
            AddListItem(FIPList, normal, true);
            FIPAddr->clear();
            return;
        }
    }
    Box(Utils::TMessageBoxKind::Information, Translate(QStringLiteral("The IP address is invalid or alread in the list.")));
    FIPAddr->setFocus();
}

void TOptionForm::RemoveAddress() {
    const int row = FIPList->currentRow();
    if (row >= 0) delete FIPList->takeItem(row);
}

void TOptionForm::SelectFolder() {
    const QString chosen =
        FContext.ChooseFolder(this, Translate(QStringLiteral("Select a local directory to store files received from other users.")),
                              FFolder);
    if (chosen.isEmpty()) return;
    // Refused now rather than at the first file that arrives.
    // A file made and removed: permission bits say nothing on a read-only mount
    // or to root.
    QTemporaryFile probe(Utils::WithTrailingSlash(chosen) + QStringLiteral(".quillmate-XXXXXX"));
    if (!QFileInfo(chosen).isDir() || !probe.open()) {
        Box(Utils::TMessageBoxKind::Error,
            TranslateFormat(QStringLiteral("Files cannot be stored in %s: the folder cannot be written to."),
                            {QDir::toNativeSeparators(chosen)}));
        return;
    }
    SetFolder(chosen);
}

bool TOptionForm::ReadNumber(const QLineEdit* edit, int low, int high, int stored, int* value) {
    int n = 0;
    if (!TryStrToInt(edit->text().trimmed(), &n)) return false;
    if (n != stored && (n < low || n > high)) return false;
    *value = n;
    return true;
}

QString TOptionForm::TestPort() {
    int port = 0;
    QString text;
    if (!ReadNumber(FPort, MinPort, MaxPort, -1, &port)) {
        text = TranslateFormat(QStringLiteral("The communication port must be a number from %d to %d."), {qint64(MinPort), qint64(MaxPort)});
    } else if (FContext.ListeningPort != 0 && port == FContext.ListeningPort) {
        text = Translate(QStringLiteral("Quillmate is listening on this port now."));
    } else {
        const TPortCheck check = FContext.CheckPort(quint16(port));
        if (check.Free()) text = Translate(QStringLiteral("UDP and TCP can both use this port now."));
        else if (check.Udp) text = Translate(QStringLiteral("TCP cannot use this port now (another program holds it); UDP can."));
        else if (check.Tcp) text = Translate(QStringLiteral("UDP cannot use this port now (another program holds it); TCP can."));
        else text = Translate(QStringLiteral("Neither UDP nor TCP can use this port now: another program holds it."));
    }
    FPortState->setText(text);
    return text;
}

void TOptionForm::ResetToDefault() {
    FAutoRun->setChecked(false);
    FAutoMinimize->setChecked(false);
    FClickXMinimize->setChecked(true);
    FAutoConvert->setChecked(true);
    FOnlyNick->setChecked(true);
    FMulticast->setChecked(true);
    FGroupAddr->setText(QStringLiteral("234.0.0.1"));
    FTimeToLive->setText(QStringLiteral("1"));
    FIPList->clear();
    AddListItem(FIPList, QStringLiteral("255.255.255.255"), true);
    UpdateModeControls();
    FPort->setText(QStringLiteral("7709"));
    FPortState->clear();
    FLanguage->setCurrentIndex(0);
    FAutoPopup->setChecked(false);
    FAllowMulti->setChecked(false);
    FCloseFileWindow->setChecked(false);
    FPlaySound->setChecked(true);
    FAutoFileTrans->setChecked(true);
    FUseHintWindow->setChecked(true);
    SetFolder(FParams.DefaultString(spArrivedFilesFolder));
    FCompression->setValue(6);
}

// ------------------------------------------------------------------ OK

bool TOptionForm::btnEnterClick() {
    using Utils::TMessageBoxKind;
    const std::optional<quint32> group = ParseDottedQuad(FGroupAddr->text());
    const quint32 first = group ? *group >> 24 : 0;
    if (!group || first < 224 || first > 239) {
        Box(TMessageBoxKind::Error, Translate(QStringLiteral("Invalid IP Multicast group address.")));
        return false;
    }
    const bool broadcast = FBroadcast->isChecked();
    const QList<TListEntry> entries = ListEntries();
    if (broadcast && entries.isEmpty()) {
        Box(TMessageBoxKind::Error, Translate(QStringLiteral("Must specify IP address when using UDP Broadcast.")));
        return false;
    }
    if (broadcast && std::none_of(entries.begin(), entries.end(), [](const TListEntry& e) { return e.Ticked; })) {
        Box(TMessageBoxKind::Error, Translate(QStringLiteral("Must check at least one IP address for UDP Broadcast.")));
        return false;
    }
    // Numbers the edits cannot hold back while typing.
    int port = 0;
    if (!ReadNumber(FPort, MinPort, MaxPort, FParams[ipListeningPort], &port)) {
        ShowPage(pgConnection);
        Box(TMessageBoxKind::Error,
            TranslateFormat(QStringLiteral("The communication port must be a number from %d to %d."), {qint64(MinPort), qint64(MaxPort)}));
        FPort->setFocus();
        return false;
    }
    int timeToLive = 0;
    if (!ReadNumber(FTimeToLive, 1, 255, FParams[ipTimeToLive], &timeToLive)) {
        ShowPage(pgConnection);
        Box(TMessageBoxKind::Error, Translate(QStringLiteral("The IP Multicast time-to-live must be a number from 1 to 255.")));
        FTimeToLive->setFocus();
        return false;
    }
    // Empty lets unsigned updates in. A key already stored (even a bad one,
    // which refuses every update) does not block OK, as a stored port does not.
    const QString updateKey = FUpdateKey->text().trimmed();
    if (!updateKey.isEmpty() && updateKey != FParams[spUpdatePublicKey] && !UpdateManifest::ParsePublicKey(updateKey)) {
        ShowPage(pgMisc);
        Box(TMessageBoxKind::Error, Translate(QStringLiteral("The update signing key must be an Ed25519 public key as "
                                                             "quillmate-cli update keygen prints it.")));
        FUpdateKey->setFocus();
        return false;
    }

    TApplicationParams& p = FParams;
    p[bpAutoRun] = FAutoRun->isChecked();
    p[bpMinimizeAfterStart] = FAutoMinimize->isChecked();
    p[bpClickCloseToMinimize] = FClickXMinimize->isChecked();
    p[bpMainWindowAlwaysOnTop] = FAlwaysOnTop->isChecked();
    p[bpAutoCodeConvert] = FAutoConvert->isChecked();
    p[bpOnlyUserNickname] = FOnlyNick->isChecked();
    p[bpUseUDPIPMulticast] = FMulticast->isChecked();
    p[spMulticastGroup] = FormatDottedQuad(*group);
    p[ipTimeToLive] = timeToLive;
    p[spUDPBroadcastIPList] = JoinBroadcastList(entries);
    const bool portChanged = port != p[ipListeningPort];
    p[ipListeningPort] = port;
    p[bpAutoDetectInterfaces] = FInterface->currentIndex() <= 0;
    if (!p[bpAutoDetectInterfaces]) p[spLocalInterfaceList] = FInterface->currentData().toString();
    p[ipNetworkLanguage] = FLanguage->currentData().toInt();
    p[bpAutoPopupForm] = FAutoPopup->isChecked();
    p[bpAllowMultiForm] = FAllowMulti->isChecked();
    p[bpCloseAfterSendFile] = FCloseFileWindow->isChecked();
    p[bpPlaySound] = FPlaySound->isChecked();
    p[bpAutoFileTrans] = FAutoFileTrans->isChecked();
    p[bpUseNotificationWindow] = FUseHintWindow->isChecked();
    p[spArrivedFilesFolder] = FFolder;
    p[ipCompressionRatio] = FCompression->value();
    p[spUpdatePublicKey] = updateKey;
    p.SaveOptions();

    FRestartNeeded = portChanged;
    if (portChanged)
        Box(TMessageBoxKind::Information,
            Translate(QStringLiteral("You need to restart application because some vital settings have changed.")));
    accept();
    return true;
}
