// The main window's "Show Floating Window": a tag per listed user, ticked in
// the menu while it is shown, coloured by the scheme, gone with the user.
#include "app/DesktopUnit.h"
#include "app/MainUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "node/NodeUnit.h"
#include "presence/widgets/FloatWindowUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(MainFloat, ShowFloatingWindowTogglesTheSelectedUsersTag) {
    TTempHome home;
    const TApplicationParams saved = Params();
    Params()[spColorScheme] = QStringLiteral("Blue");
    {
        TDesktop desktop(false);
        TMainForm& form = desktop.MainForm();
        TOnlineUserModel& model = desktop.Node().Model();
        model.AddUserNode(false, NamedPeer(QStringLiteral("ann")));
        form.UserView()->selectionModel()->select(UserByNick(model, "ann"), QItemSelectionModel::ClearAndSelect);

        QAction* item = form.OnlineCommands().MenuAction(QStringLiteral("miOnlineShowFloatingWindow"));
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isVisible());
        form.OnlineCommands().UpdateMenu();
        EXPECT_TRUE(item->isEnabled());
        EXPECT_FALSE(item->isChecked());
        item->trigger();
        ASSERT_EQ(form.FloatWindows().Tags().size(), 1);
        QPointer<TFloatWindow> tag = form.FloatWindows().Tags().first();
        EXPECT_EQ(tag->User().NickName, QStringLiteral("ann"));
        EXPECT_EQ(tag->BorderColor(), QColor(132, 172, 238));
        form.OnlineCommands().UpdateMenu();
        EXPECT_TRUE(item->isChecked());

        form.miBlueClick(QStringLiteral("Silver"));
        EXPECT_EQ(tag->BorderColor(), QColor(160, 160, 160));
        EXPECT_EQ(tag->GradientStart(), form.GradientStart());

        // Double click: a message window to the user.
        QTest::mouseDClick(tag, Qt::LeftButton, {}, QPoint(3, 3));
        QList<TNewMsgForm*> opened;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* msg = qobject_cast<TNewMsgForm*>(w)) opened << msg;
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened.first()->Recipients().first().NickName, QStringLiteral("ann"));
        delete opened.first();

        item->trigger();
        EXPECT_TRUE(form.FloatWindows().Tags().isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(tag.isNull());
        form.OnlineCommands().UpdateMenu();
        EXPECT_FALSE(item->isChecked());

        // Shown again, then the user leaves the list.
        item->trigger();
        tag = form.FloatWindows().Tags().first();
        model.RemoveUser(NamedPeer(QStringLiteral("ann")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(tag.isNull());
    }
    Params() = saved;
}

} // namespace
