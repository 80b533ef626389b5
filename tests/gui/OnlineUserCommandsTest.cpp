#include "presence/widgets/OnlineUserCommandsUnit.h"

#include "core/ParamsUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "support/OnlineListFixture.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <memory>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <optional>
#include <ostream>

namespace {


// Favorite Contacts: f1; Sales: s1 s2; R&D (empty). The input dialog and the
// message box answer from the test.
class OnlineUserCommandsTest : public TOnlineListFixture {
protected:
    OnlineUserCommandsTest() : TOnlineListFixture(QStringLiteral("R&D")) {
        Commands.SetInputText([this](QWidget*, const QString& caption, const QString& prompt, QString* value) {
            Asked << caption + QLatin1Char('|') + prompt + QLatin1Char('|') + *value;
            if (!Answer) return false;
            *value = *Answer;
            return true;
        });
        Commands.SetMessageBox([this](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
            Boxes << QStringLiteral("%1|%2").arg(int(kind)).arg(text);
            return Utils::TMessageBoxResult::Ok;
        });
        Commands.BuildMenu(&Menu);
    }

    QStringList GroupNames() const {
        QStringList out;
        for (int g = 0; g < Model.rowCount(); ++g) out << Model.data(Model.GroupIndex(g)).toString();
        return out;
    }
    bool Enabled(const char* name) const {
        const QAction* action = Commands.MenuAction(QString::fromLatin1(name));
        return action && action->isEnabled();
    }

    TOnlineUserCommands Commands{View, Params()};
    QMenu Menu;
    std::optional<QString> Answer;
    QStringList Asked;
    QStringList Boxes;
};

struct TAddCase {
    const char* Name;
    std::optional<const char*> Typed; // nullopt: Cancel
    const char* Groups;
};
void PrintTo(const TAddCase& c, std::ostream* os) { *os << c.Name; }

class AddGroupCases : public OnlineUserCommandsTest, public ::testing::WithParamInterface<TAddCase> {};

TEST_P(AddGroupCases, AddsTrimmedNamesOnly) {
    const TAddCase& c = GetParam();
    if (c.Typed) Answer = QString::fromUtf8(*c.Typed);
    Commands.miOnlineAddGroupClick();
    EXPECT_EQ(Asked, QStringList{QStringLiteral("Add New Group|Please input group name to be added(Max 20 chars).|")});
    EXPECT_EQ(GroupNames().join(QStringLiteral(", ")).toStdString(), c.Groups);
    EXPECT_TRUE(Boxes.isEmpty()); // refusals are silent
    TOnlineUserModel reloaded{Groups, TSelfIdentity{}};
    reloaded.LoadGroupNodes(true);
    EXPECT_EQ(reloaded.GroupCount(), Model.GroupCount());
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddGroupCases,
    ::testing::Values(TAddCase{"Plain", "Field", "Favorite Contacts [1], Sales [2], R&D [0], Field [0]"},
                      TAddCase{"BlanksAroundAreTrimmed", "  Field  ", "Favorite Contacts [1], Sales [2], R&D [0], Field [0]"},
                      TAddCase{"BlankIsNothing", "   ", "Favorite Contacts [1], Sales [2], R&D [0]"},
                      TAddCase{"TakenNameInOtherCase", "sales", "Favorite Contacts [1], Sales [2], R&D [0]"},
                      TAddCase{"BuiltInName", "Favorite Contacts", "Favorite Contacts [1], Sales [2], R&D [0]"},
                      TAddCase{"Cancelled", std::nullopt, "Favorite Contacts [1], Sales [2], R&D [0]"}),
    TCaseName());

TEST_F(OnlineUserCommandsTest, RenameStartsFromTheNameAndUpdatesRows) {
    View.setCurrentIndex(Group("Sales"));
    Answer = QStringLiteral(" Field Sales ");
    Commands.miOnlineRenameGroupClick();
    EXPECT_EQ(Asked, QStringList{QStringLiteral("Rename Group|Please input a new group name(Max 20 chars).|Sales")});
    EXPECT_EQ(Model.data(Model.GroupIndex(1)).toString(), QStringLiteral("Field Sales [2]"));
    EXPECT_EQ(Model.NodeData(User("s2"))->GroupName, QStringLiteral("Field Sales"));
    EXPECT_EQ(Groups.GetUserGroup(NamedPeerKey(QStringLiteral("s1"))), QStringLiteral("Field Sales"));

    // Favorite Contacts and user rows are never renamed: no question asked.
    Asked.clear();
    View.setCurrentIndex(Model.GroupIndex(0));
    Commands.miOnlineRenameGroupClick();
    View.setCurrentIndex(User("s1"));
    Commands.miOnlineRenameGroupClick();
    EXPECT_TRUE(Asked.isEmpty());
}

TEST_F(OnlineUserCommandsTest, DeleteRefusedWhileTheGroupHasUsers) {
    View.setCurrentIndex(Group("Sales"));
    Commands.miOnlineDeleteGroupClick();
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("%1|Please move all the group's users to other group and try again.")
                                     .arg(int(Utils::TMessageBoxKind::Information))});
    EXPECT_TRUE(Group("Sales").isValid());

    Boxes.clear();
    View.setCurrentIndex(Group("R&D"));
    Commands.miOnlineDeleteGroupClick();
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_FALSE(Group("R&D").isValid());
    QStringList stored;
    Groups.ReadGroups(&stored);
    EXPECT_EQ(stored, QStringList{QStringLiteral("Sales=1")});
}

TEST_F(OnlineUserCommandsTest, MoveToGroupSubmenuListsTargetsAndMoves) {
    View.setCurrentIndex(User("s2"));
    Commands.UpdateMenu();
    QAction* moveItem = Commands.MenuAction(QStringLiteral("miOnlineMoveToGroup"));
    ASSERT_TRUE(moveItem && moveItem->menu());
    const QList<QAction*> items = moveItem->menu()->actions();
    QStringList captions;
    QList<int> tags;
    for (QAction* item : items) {
        captions << item->text();
        tags << item->property("Tag").toInt();
    }
    EXPECT_EQ(captions, (QStringList{QStringLiteral("R&&D"), QStringLiteral("Favorite Contacts")}));
    EXPECT_EQ(tags, (QList<int>{5, 0})); // rows in the whole tree: Fav f1 Sales s1 s2 R&D

    // A user arriving while the menu is open shifts the rows; the item still means R&D.
    Model.AddUserNode(false, NamedPeer(QStringLiteral("f2")));
    items.first()->trigger();
    EXPECT_EQ(Model.data(Group("R&D")).toString(), QStringLiteral("R&D [1]"));
    EXPECT_EQ(Model.NodeData(Model.index(0, 0, Group("R&D")))->NickName, QStringLiteral("s2"));
    EXPECT_EQ(Groups.GetUserGroup(NamedPeerKey(QStringLiteral("s2"))), QStringLiteral("R&D"));
    EXPECT_EQ(Model.data(Group("Sales")).toString(), QStringLiteral("Sales [1]"));

    // From Favorite Contacts the built-in group is not offered.
    View.setCurrentIndex(User("f1"));
    Commands.UpdateMenu();
    captions.clear();
    for (QAction* item : moveItem->menu()->actions()) captions << item->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("R&&D"), QStringLiteral("Sales")}));
}

struct TEnableCase {
    const char* Name;
    const char* Selected; // "G:" group, nickname, "" none
    bool Ticked;
    bool SendSelected, SendChecked, RenameDelete, MoveToGroup;
};
void PrintTo(const TEnableCase& c, std::ostream* os) { *os << c.Name; }

class MenuEnabling : public OnlineUserCommandsTest, public ::testing::WithParamInterface<TEnableCase> {};

TEST_P(MenuEnabling, FollowsTheSelection) {
    const TEnableCase& c = GetParam();
    const QString selected = QString::fromLatin1(c.Selected);
    if (selected.startsWith(QLatin1String("G:")))
        View.setCurrentIndex(Model.FindGroup(selected.mid(2)));
    else if (!selected.isEmpty())
        View.setCurrentIndex(User(c.Selected));
    else
        View.selectionModel()->clear();
    if (c.Ticked) Model.SetChecked(User("f1"), true);
    Commands.UpdateMenu();
    EXPECT_EQ(Enabled("miOnlineSendMessageSelected"), c.SendSelected);
    EXPECT_EQ(Enabled("miOnlineSendFileSelected"), c.SendSelected);
    EXPECT_EQ(Enabled("miOnlineShowFloatingWindow"), c.SendSelected);
    EXPECT_EQ(Enabled("miOnlineSendMessageChecked"), c.SendChecked);
    EXPECT_EQ(Enabled("miOnlineRenameGroup"), c.RenameDelete);
    EXPECT_EQ(Enabled("miOnlineDeleteGroup"), c.RenameDelete);
    EXPECT_EQ(Enabled("miOnlineMoveToGroup"), c.MoveToGroup);
    for (const char* always : {"miOnlineAddGroup", "miOnlineShow", "miOnlineCheckAll", "miOnlineCheckNone",
                               "miOnlineInvert", "miRefreshOnline"})
        EXPECT_TRUE(Enabled(always)) << always;
}

INSTANTIATE_TEST_SUITE_P(Table, MenuEnabling,
                         ::testing::Values(TEnableCase{"Nothing", "", false, false, false, false, false},
                                           TEnableCase{"FavoriteGroup", "G:Favorite Contacts", true, false, true, false, false},
                                           TEnableCase{"NamedGroup", "G:Sales", false, false, false, true, false},
                                           TEnableCase{"User", "s1", false, true, false, false, true}),
                         TCaseName());

TEST_F(OnlineUserCommandsTest, MoveToGroupNeedsTwoGroups) {
    View.setCurrentIndex(Group("R&D"));
    Commands.miOnlineDeleteGroupClick();
    Model.MoveUserToGroup(User("s1"), Model.GroupIndex(0));
    Model.MoveUserToGroup(User("s2"), Model.GroupIndex(0));
    View.setCurrentIndex(Group("Sales"));
    Commands.miOnlineDeleteGroupClick();
    ASSERT_EQ(Model.GroupCount(), 1);
    View.setCurrentIndex(User("s1"));
    EXPECT_FALSE(OnlineMenuState(Model, View.SelectedRow()).MoveToGroup);
    EXPECT_TRUE(OnlineMenuState(Model, View.SelectedRow()).SendSelected);
}

TEST_F(OnlineUserCommandsTest, FloatingWindowItemIsCheckedForItsUser) {
    QObject floating;
    const TUserNodeData& s1 = *Model.NodeData(User("s1"));
    // The key's case does not matter.
    Commands.SetFloatingWindow(TOnlineUserModel::UserKey(s1.ComputerName, s1.UserId).toUpper(), &floating);
    View.setCurrentIndex(User("s1"));
    Commands.UpdateMenu();
    QAction* item = Commands.MenuAction(QStringLiteral("miOnlineShowFloatingWindow"));
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isChecked());
    QSignalSpy toggled(&Commands, &TOnlineUserCommands::FloatingWindowToggleRequested);
    item->trigger();
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_TRUE(toggled.first().at(0).toBool()); // it was shown: close it

    // Another user's item is not checked by s1's window.
    View.setCurrentIndex(User("s2"));
    Commands.UpdateMenu();
    EXPECT_FALSE(item->isChecked());
    // A window that is gone checks nothing.
    auto closing = std::make_unique<QObject>();
    const TUserNodeData& s2 = *Model.NodeData(User("s2"));
    Commands.SetFloatingWindow(TOnlineUserModel::UserKey(s2.ComputerName, s2.UserId), closing.get());
    Commands.UpdateMenu();
    EXPECT_TRUE(item->isChecked());
    closing.reset();
    Commands.UpdateMenu();
    EXPECT_FALSE(item->isChecked());
}

TEST_F(OnlineUserCommandsTest, CheckMarksAndDisplayOptions) {
    Commands.MenuAction(QStringLiteral("miOnlineCheckAll"))->trigger();
    EXPECT_EQ(Model.CheckedRecipients().size(), 3);
    Model.SetChecked(User("s1"), false);
    Commands.MenuAction(QStringLiteral("miOnlineInvert"))->trigger();
    ASSERT_EQ(Model.CheckedRecipients().size(), 1);
    EXPECT_EQ(Model.CheckedRecipients().first().NickName, QStringLiteral("s1"));
    Commands.MenuAction(QStringLiteral("miOnlineCheckNone"))->trigger();
    EXPECT_TRUE(Model.CheckedRecipients().isEmpty());

    Params()[bpOnlineListShowCompuerName] = true;
    Params()[bpOnlineListShowIPAddress] = false;
    Commands.UpdateMenu();
    QAction* computer = Commands.MenuAction(QStringLiteral("miOnlineComputerName"));
    QAction* address = Commands.MenuAction(QStringLiteral("miOnlineIPAddress"));
    EXPECT_TRUE(computer->isChecked());
    computer->trigger();
    EXPECT_FALSE(Params()[bpOnlineListShowCompuerName]);
    EXPECT_FALSE(computer->isChecked());
    address->trigger();
    EXPECT_TRUE(Params()[bpOnlineListShowIPAddress]);
    EXPECT_TRUE(address->isChecked());
}

TEST_F(OnlineUserCommandsTest, HandedOnItemsCarryTheirTags) {
    QSignalSpy message(&Commands, &TOnlineUserCommands::LoadMessageFormRequested);
    QSignalSpy file(&Commands, &TOnlineUserCommands::LoadFileFormRequested);
    QSignalSpy refresh(&Commands, &TOnlineUserCommands::RefreshOnlineListRequested);
    View.setCurrentIndex(User("s1"));
    Model.SetChecked(User("f1"), true);
    Commands.UpdateMenu();
    Commands.MenuAction(QStringLiteral("miOnlineSendMessageSelected"))->trigger();
    Commands.MenuAction(QStringLiteral("miOnlineSendMessageChecked"))->trigger();
    Commands.MenuAction(QStringLiteral("miOnlineSendFileSelected"))->trigger();
    Commands.MenuAction(QStringLiteral("miRefreshOnline"))->trigger();
    ASSERT_EQ(message.count(), 2);
    EXPECT_EQ(message.at(0).at(0).toInt(), 1202);
    EXPECT_EQ(message.at(1).at(0).toInt(), 1204);
    ASSERT_EQ(file.count(), 1);
    EXPECT_EQ(file.first().at(0).toInt(), 1301);
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_EQ(Commands.MenuAction(QStringLiteral("miOnlineAddGroup"))->text(), QStringLiteral("Add New Group..."));
}

} // namespace
