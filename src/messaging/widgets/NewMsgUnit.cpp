#include "messaging/widgets/NewMsgUnit.h"

// Placeholder until the message window lands: nothing opens, nothing is shown.
QWidget* OpenMessageForm(TNode&, QWidget*, bool, bool, bool, const TRecipients&, const QString&, const QByteArray&) {
    return nullptr;
}

bool ShowInChatWindow(const TBroadcastData&) {
    return false;
}
