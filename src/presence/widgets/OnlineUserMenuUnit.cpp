#include "presence/widgets/OnlineUserMenuUnit.h"

#include "core/OnlineStateValueUnit.h"
#include "core/UtilsUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/OnlineStateMenuUnit.h"

#include <QMenu>

QList<TOnlineUserItem> AddOnlineUserItems(QMenu* menu, const TOnlineUserModel& model, bool onlyUserNickname) {
    QList<TOnlineUserItem> items;
    const QList<QModelIndex> users = model.UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) {
        const TUserNodeData* user = model.NodeData(*it);
        if (!user || user->IsGroup) continue;
        TOnlineUserItem item;
        item.HasNickname = !user->NickName.isEmpty();
        item.User = TRecipient{user->NickName, user->ComputerName, user->IPAddress, QString(), user->UserId};
        QString caption = Utils::DisplayName(item.HasNickname, user->NickName, user->ComputerName, onlyUserNickname);
        item.Action = menu->addAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        const TOnlineState state = OnlineStateFromWire(user->OnlineState).value_or(TOnlineState::Online);
        item.Action->setIcon(TAppImages::Instance().Icon(OnlineStateMenu::MenuImageName(state)));
        items << item;
    }
    return items;
}
