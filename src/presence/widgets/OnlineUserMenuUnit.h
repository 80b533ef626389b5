#pragma once

#include "protocol/CommConstsUnit.h"

#include <QList>

class QAction;
class QMenu;
class TOnlineUserModel;

// One item of a menu of the listed users.
struct TOnlineUserItem {
    QAction* Action = nullptr;
    TRecipient User;
    bool HasNickname = false; // the user sent a nickname
};

// Appends one item per listed user to menu, last row first, as the tray and
// the file window list them: the display name (an "&" in it shown as itself)
// and the icon of the user's state. The caller connects the items.
QList<TOnlineUserItem> AddOnlineUserItems(QMenu* menu, const TOnlineUserModel& model, bool onlyUserNickname);
