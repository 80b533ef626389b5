#include "transfer/widgets/FileFormUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "core/ParamsUnit.h"
#include "node/NodeUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileLogUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "transfer/widgets/FileUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <QCoreApplication>

namespace {

TFileFormContext Context(TNode& node) {
    TFileFormContext context;
    context.Transfer = &node.Transfer();
    context.AddLogRecord = [log = &node.ChatLog()](TLogRecord record) { log->AddLogRecord(std::move(record)); };
    context.Params = &Params();
    context.OnlineModel = &node.Model();
    context.LanguageId = qint16(TMessageLang::Instance().LanguageId());
    return context;
}

TFileForm* Existing(Utils::TWindowKind kind, const QString& name) {
    auto* form = qobject_cast<TFileForm*>(TWindowRegistry::Instance().FindByClass(Utils::WindowClassName(kind, name)));
    if (form) Utils::ShowExistingWindow(kind, name);
    return form;
}

TFileForm* ShowForm(TFileForm* form) {
    form->show();
    Utils::ForceForeground(form);
    QCoreApplication::processEvents();
    return form;
}

} // namespace

TFileForm* OpenFileFormToSend(TNode& node, QWidget* parent, const TRecipients& recipients, bool hasNickname,
                              const QStringList& paths) {
    if (recipients.isEmpty()) return nullptr;
    const TRecipient& peer = recipients.first();
    if (!Params()[bpAllowMultiForm] && paths.isEmpty() && !peer.UserId.isEmpty())
        if (TFileForm* form = Existing(Utils::TWindowKind::File, peer.UserId)) return form;
    // Top-level with its own taskbar button: the parent only owns its lifetime.
    auto* form = new TFileForm(Context(node), TFileForm::fmSend, hasNickname, peer, {}, parent);
    ShowForm(form);
    if (!paths.isEmpty()) form->AddPaths(paths);
    return form;
}

TFileForm* OpenFileManager(TNode& node, QWidget* parent) {
    if (!Params()[bpAllowMultiForm])
        if (TFileForm* form = Existing(Utils::TWindowKind::FileManage, {})) return form;
    return ShowForm(new TFileForm(Context(node), TFileForm::fmManage, false, {}, {}, parent));
}

TFileForm* OpenFileFormForArrival(TNode& node, QWidget* parent, const TFilesArrival& arrival) {
    const TRecipient sender{arrival.Data.NickName, arrival.Data.ComputerName, arrival.Data.IPAddress, QString(),
                            arrival.Data.UserId};
    return ShowForm(new TFileForm(Context(node), TFileForm::fmReceive, true, sender, arrival.ReceivedNames, parent));
}

TReceiveRequestDialog* OpenFileFormForOffer(TNode& node, QWidget* parent, const TOnlineNotify& offer,
                                            TReceiveRequestDialog::TMode mode) {
    auto* dialog = new TReceiveRequestDialog(node.Transfer(), offer, mode, Params()[bpOnlyUserNickname], parent);
    QObject::connect(dialog, &TReceiveRequestDialog::Received, dialog->parent() ? dialog->parent() : qApp,
                     [&node, parent](const TFilesArrival& arrival) { OpenFileFormForArrival(node, parent, arrival); });
    dialog->show();
    Utils::ForceForeground(dialog);
    return dialog;
}

TReceiveRequestDialog* ShowTransferTerminated(TNode& node, QWidget* parent, const TFilesArrival& arrival) {
    TOnlineNotify sender;
    sender.NickName = arrival.Data.NickName;
    sender.ComputerName = arrival.Data.ComputerName;
    sender.IPAddress = arrival.Data.IPAddress;
    sender.UserId = arrival.Data.UserId;
    return OpenFileFormForOffer(node, parent, sender, TReceiveRequestDialog::rmTerminated);
}

void LogReceivedFiles(TChatLog& log, const TFilesArrival& arrival) {
    TLogRecord record;
    if (FileLog::ReceivedRecord(arrival, &record)) log.AddLogRecord(std::move(record));
}
