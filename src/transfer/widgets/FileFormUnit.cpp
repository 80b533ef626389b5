#include "transfer/widgets/FileFormUnit.h"

#include "core/ParamsUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QCoreApplication>

namespace {

QString SingleKey(Utils::TWindowKind kind, const QString& name) { return Utils::WindowClassName(kind, name).toLower(); }

} // namespace

TFileWindows::TFileWindows(TFileFormContext context, QObject* parent) : QObject(parent), FContext(std::move(context)) {}

TFileWindows::~TFileWindows() {
    for (const QPointer<QWidget>& window : FOpen) delete window.data();
}

TFileForm* TFileWindows::Existing(const QString& key) const {
    TFileForm* form = FSingles.value(key);
    if (!form) return nullptr;
    Utils::BringForward(form);
    return form;
}

TFileForm* TFileWindows::Show(TFileForm* form, const QString& singleKey) {
    FOpen.removeAll(nullptr);
    FOpen << form;
    if (!singleKey.isEmpty()) FSingles.insert(singleKey, form);
    form->show();
    Utils::ForceForeground(form);
    QCoreApplication::processEvents();
    return form;
}

TFileForm* TFileWindows::OpenToSend(const TRecipients& recipients, bool hasNickname, const QStringList& paths) {
    if (recipients.isEmpty()) return nullptr;
    const TRecipient& peer = recipients.first();
    const QString key = peer.UserId.isEmpty() ? QString() : SingleKey(Utils::TWindowKind::File, peer.UserId);
    if (!(*FContext.Params)[bpAllowMultiForm] && paths.isEmpty() && !key.isEmpty())
        if (TFileForm* form = Existing(key)) return form;
    auto* form = Show(new TFileForm(FContext, TFileForm::fmSend, hasNickname, peer, {}), key);
    if (!paths.isEmpty()) form->AddPaths(paths);
    return form;
}

TFileForm* TFileWindows::OpenManager() {
    const QString key = SingleKey(Utils::TWindowKind::FileManage, {});
    if (!(*FContext.Params)[bpAllowMultiForm])
        if (TFileForm* form = Existing(key)) return form;
    return Show(new TFileForm(FContext, TFileForm::fmManage, false, {}, {}), key);
}

TFileForm* TFileWindows::OpenForArrival(const TFilesArrival& arrival) {
    const TRecipient sender{arrival.Data.NickName, arrival.Data.ComputerName, arrival.Data.IPAddress, QString(),
                            arrival.Data.UserId};
    return Show(new TFileForm(FContext, TFileForm::fmReceive, true, sender, arrival.ReceivedNames), {});
}

TReceiveRequestDialog* TFileWindows::OpenForOffer(const TOnlineNotify& offer, TReceiveRequestDialog::TMode mode) {
    auto* dialog =
        new TReceiveRequestDialog(*FContext.Transfer, offer, mode, (*FContext.Params)[bpOnlyUserNickname], nullptr);
    FOpen.removeAll(nullptr);
    FOpen << dialog;
    connect(dialog, &TReceiveRequestDialog::Received, this,
            [this](const TFilesArrival& arrival) { OpenForArrival(arrival); });
    dialog->show();
    Utils::ForceForeground(dialog);
    return dialog;
}
