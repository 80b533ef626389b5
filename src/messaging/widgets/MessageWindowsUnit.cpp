#include "messaging/widgets/MessageWindowsUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/ServerQueueUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "ui/WindowRegistryUnit.h"

using Utils::TWindowKind;

TMessageWindows::TMessageWindows(TMsgFormContext context, QObject* parent)
    : QObject(parent), FContext(std::move(context)) {}

TMessageWindows::~TMessageWindows() { CloseAll(); }

TNewMsgForm* TMessageWindows::Open(bool sendMode, bool broadcastMode, bool useNickname, const TRecipients& recipients,
                                   const QString& timeText, const QByteArray& content, qint16 languageId) {
    const TApplicationParams& p = Params();
    const bool composeBroadcast = sendMode && broadcastMode;
    const bool uniqueUser = sendMode && !broadcastMode && recipients.size() == 1 && !recipients.first().UserId.isEmpty();
    QString className = QString::fromLatin1(TNewMsgForm::DefaultClassName);
    if (composeBroadcast) className = Utils::WindowClassName(TWindowKind::Broadcast, {});
    else if (uniqueUser) className = Utils::WindowClassName(TWindowKind::Message, recipients.first().UserId);
    const QString singleKey = composeBroadcast || uniqueUser ? className.toLower() : QString();
    if (!p[bpAllowMultiForm] && !singleKey.isEmpty())
        if (TNewMsgForm* open = FSingles.value(singleKey)) {
            Utils::BringForward(open);
            return open;
        }
    if (sendMode && !broadcastMode && p[bpChatMode] && recipients.size() == 1)
        if (TNewMsgForm* open =
                ChatWindow(TOnlineUserModel::UserKey(recipients.first().ComputerName, recipients.first().UserId))) {
            Utils::BringForward(open);
            return open;
        }
    auto* form = new TNewMsgForm(FContext, sendMode, broadcastMode, useNickname, recipients);
    Track(form, TWindowRegistry::Instance().Register(form, className), singleKey);
    form->Setup(timeText, content, languageId);
    form->show();
    Utils::ForceForeground(form);
    return form;
}

void TMessageWindows::Track(TNewMsgForm* form, quint32 handle, const QString& singleKey) {
    FWindows.insert(handle, form);
    if (!singleKey.isEmpty()) FSingles.insert(singleKey, form);
    connect(form, &TNewMsgForm::ChatEntryChanged, this, [this, form, handle] { ChatEntryChanged(form, handle); });
    connect(form, &QObject::destroyed, this, [this, handle, singleKey] {
        FWindows.remove(handle);
        FChats.RemoveHandle(handle);
        if (!singleKey.isEmpty() && !FSingles.value(singleKey)) FSingles.remove(singleKey);
    });
    ChatEntryChanged(form, handle);
}

void TMessageWindows::ChatEntryChanged(TNewMsgForm* form, quint32 handle) {
    FChats.RemoveHandle(handle);
    if (const QString key = form->ChatKey(); !key.isEmpty()) FChats.Add(key, handle);
}

TNewMsgForm* TMessageWindows::ChatWindow(const QString& userKey) const {
    const quint32 handle = FChats.Find(userKey);
    return handle ? FWindows.value(handle).data() : nullptr;
}

bool TMessageWindows::ShowInChatWindow(const TBroadcastData& record) {
    // The rule the queue uses to hand a sender's messages to a chat window.
    for (const QPointer<TNewMsgForm>& form : std::as_const(FWindows)) {
        if (!form || form->ChatKey().isEmpty() || !SameSender(record, form->Recipients().first())) continue;
        form->AppendIncoming(record);
        return true;
    }
    return false;
}

void TMessageWindows::CloseAll() {
    const QList<QPointer<TNewMsgForm>> open = FWindows.values();
    for (const QPointer<TNewMsgForm>& form : open) delete form.data();
    FWindows.clear();
    FSingles.clear();
    FChats.Clear();
}
