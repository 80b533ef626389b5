// The main window's network panel: its place, "Refresh Windows &Network",
// and the computers it hands to the message, console and file windows and
// to the tray's submenus.
#include "app/DesktopUnit.h"
#include "app/MainUnit.h"

#include "console/widgets/ConsoleUnit.h"
#include "core/ParamsUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "support/NetPanelFixture.h"
#include "transfer/widgets/FileUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace NetFake;

namespace {

template <typename T> QList<T*> TopLevel() {
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<T*>(w)) found << f;
    return found;
}

class MainNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        TApplicationParams& p = Params();
        FIntegers = p.Integers;
        FBooleans = p.Booleans;
        FStrings = p.Strings;
        p[bpMinimizeAfterStart] = false;
        p[bpAllowMultiForm] = true;
        p[ipActiveGroupIndex] = TMainForm::NetworkPanel;
        FDesktop = std::make_unique<TDesktop>(false);
        UseOffice(FDesktop->Neighbourhood(), FSource);
    }
    void TearDown() override {
        for (TNewMsgForm* f : TopLevel<TNewMsgForm>()) delete f;
        for (TFileForm* f : TopLevel<TFileForm>()) delete f;
        for (TConsoleForm* f : Form().findChildren<TConsoleForm*>()) delete f;
        FDesktop.reset();
        TApplicationParams& p = Params();
        p.Integers = FIntegers;
        p.Booleans = FBooleans;
        p.Strings = FStrings;
        QFile::remove(p.ConfigFile());
    }
    TMainForm& Form() { return FDesktop->MainForm(); }
    TNetworkTree& Tree() { return *Form().NetworkTree(); }
    QTreeWidgetItem* Computer(const char* name) { return Tree().Row(QStringLiteral("WORKGROUP/") + QString::fromLatin1(name)); }
    // The root is read at start; then WORKGROUP is opened and its names resolved.
    void OpenWorkgroup() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Tree().Row(QStringLiteral("WORKGROUP")) != nullptr; }, 5000));
        QTreeWidgetItem* workgroup = Tree().Row(QStringLiteral("WORKGROUP"));
        workgroup->setExpanded(true);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QTreeWidgetItem* gamma = Computer("GAMMA");
                QTreeWidgetItem* beta = Computer("BETA");
                return !Tree().IsReading(workgroup) && gamma && beta && TNetworkTree::ItemOf(gamma)->Resolved &&
                       TNetworkTree::ItemOf(beta)->Resolved && TNetworkTree::ItemOf(Computer("ALPHA"))->Resolved;
            },
            5000));
    }
    // The tray's submenu after the tray menu opened: captions, separators as "-".
    QStringList SubmenuCaptions(const char* name) {
        emit Form().TrayMenu()->aboutToShow();
        QAction* item = Form().Action(QString::fromLatin1(name));
        QMenu* menu = item ? item->menu() : nullptr;
        if (!menu) return {QStringLiteral("(none)")};
        emit menu->aboutToShow();
        QStringList captions;
        for (QAction* a : menu->actions()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return captions;
    }

    std::shared_ptr<TFakeSource> FSource = Office();
    std::unique_ptr<TDesktop> FDesktop;

private:
    std::array<int, ipCount> FIntegers;
    std::array<bool, bpCount> FBooleans;
    std::array<QString, spCount> FStrings;
};

} // namespace

TEST_F(MainNetwork, ThePanelIsTheNetworkTreeAndItsRefreshFollowsThePanel) {
    ASSERT_NE(Form().NetworkTree(), nullptr);
    EXPECT_EQ(Tree().objectName(), QStringLiteral("tvNetwork"));
    QAction* refreshNetwork = Form().Action(QStringLiteral("miMainRefreshNetwork"));
    QAction* refreshUsers = Form().Action(QStringLiteral("miMainRefreshList"));
    ASSERT_NE(refreshNetwork, nullptr);
    // With the network panel active: its refresh on, the users' off.
    EXPECT_TRUE(refreshNetwork->isEnabled());
    EXPECT_FALSE(refreshUsers->isEnabled());
    Form().Action(QStringLiteral("miMainShowOnlineUser"))->trigger();
    EXPECT_FALSE(refreshNetwork->isEnabled());
    EXPECT_TRUE(refreshUsers->isEnabled());
    Form().Action(QStringLiteral("miMainShowNetwork"))->trigger();
    EXPECT_TRUE(refreshNetwork->isEnabled());

    OpenWorkgroup();
    Tree().SetChecked(Computer("ALPHA"), true);
    refreshNetwork->trigger();
    EXPECT_TRUE(Tree().CheckedComputers().isEmpty());
    EXPECT_EQ(Computer("ALPHA"), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tree().Row(QStringLiteral("WORKGROUP")) != nullptr; }, 5000));
}

TEST_F(MainNetwork, MessageWindowsGetTheComputersWithoutNicknames) {
    OpenWorkgroup();
    // Nothing ticked: "Send Message to Checked..." opens nothing.
    Form().LoadMessageFormExecute(TNetworkTree::TagSendMessageChecked);
    EXPECT_TRUE(TopLevel<TNewMsgForm>().isEmpty());

    Tree().SetChecked(Computer("BETA"), true);
    Tree().SetChecked(Computer("ALPHA"), true);
    Tree().MenuAction(QStringLiteral("miSendMessageChecked"))->setEnabled(true);
    Tree().MenuAction(QStringLiteral("miSendMessageChecked"))->trigger();
    QList<TNewMsgForm*> windows = TopLevel<TNewMsgForm>();
    ASSERT_EQ(windows.size(), 1);
    TNewMsgForm* checked = windows.first();
    EXPECT_FALSE(checked->UseNickname());
    EXPECT_TRUE(checked->SendMode());
    EXPECT_FALSE(checked->BroadcastMode());
    ASSERT_EQ(checked->Recipients().size(), 2);
    EXPECT_EQ(checked->Recipients()[0].ComputerName, QStringLiteral("ALPHA"));
    EXPECT_EQ(checked->Recipients()[0].IPAddress, QStringLiteral("192.0.2.1"));
    EXPECT_TRUE(checked->Recipients()[0].NickName.isEmpty());
    EXPECT_TRUE(checked->Recipients()[0].UserId.isEmpty());
    EXPECT_EQ(checked->Recipients()[1].ComputerName, QStringLiteral("BETA"));
    EXPECT_TRUE(checked->Recipients()[1].IPAddress.isEmpty());
    delete checked;

    // Enter on a computer: that one.
    QTreeWidgetItem* gamma = Computer("GAMMA");
    Tree().setCurrentItem(gamma);
    Tree().setFocus();
    QTest::keyClick(&Tree(), Qt::Key_Return);
    windows = TopLevel<TNewMsgForm>();
    ASSERT_EQ(windows.size(), 1);
    ASSERT_EQ(windows.first()->Recipients().size(), 1);
    EXPECT_EQ(windows.first()->Recipients()[0].ComputerName, QStringLiteral("GAMMA"));
    EXPECT_EQ(windows.first()->Recipients()[0].IPAddress, QStringLiteral("192.0.2.3"));
    EXPECT_FALSE(windows.first()->UseNickname());
}

TEST_F(MainNetwork, ConsoleWindowGetsTheNamesJoinedByTabs) {
    OpenWorkgroup();
    EXPECT_EQ(Form().LoadConsoleFormExecute(TNetworkTree::TagSendCMessageChecked), nullptr);
    EXPECT_EQ(Form().LoadConsoleFormExecute(TNetworkTree::TagSendCMessageSelected), nullptr);
    Tree().SetChecked(Computer("GAMMA"), true);
    Tree().SetChecked(Computer("BETA"), true);
    QPointer<TConsoleForm> checked = Form().LoadConsoleFormExecute(TNetworkTree::TagSendCMessageChecked);
    ASSERT_TRUE(checked);
    ASSERT_EQ(checked->List()->count(), 2);
    EXPECT_EQ(checked->List()->item(0)->text(), QStringLiteral("BETA"));
    EXPECT_EQ(checked->List()->item(1)->text(), QStringLiteral("GAMMA"));
    Tree().RememberRow(Computer("ALPHA"));
    QPointer<TConsoleForm> selected = Form().LoadConsoleFormExecute(TNetworkTree::TagSendCMessageSelected);
    ASSERT_TRUE(selected);
    ASSERT_EQ(selected->List()->count(), 1);
    EXPECT_EQ(selected->List()->item(0)->text(), QStringLiteral("ALPHA"));

    // "&Add..." takes a computer from the chooser; cancelled, nothing.
    std::optional<TRecipient> answer = TRecipient{{}, QStringLiteral("DELTA"), QStringLiteral("192.0.2.4"), {}, {}};
    FDesktop->SetComputerChooser([&answer](QWidget*) { return answer; });
    auto* add = selected->findChild<QPushButton*>(QStringLiteral("btnAddStation"));
    add->click();
    answer.reset();
    add->click();
    ASSERT_EQ(selected->List()->count(), 2);
    EXPECT_EQ(selected->List()->item(1)->text(), QStringLiteral("DELTA"));
}

TEST_F(MainNetwork, FileWindowGetsTheComputerAndItsChooserTheKnownAddress) {
    OpenWorkgroup();
    Form().LoadFileFormExecute(TNetworkTree::TagSendFileSelected);
    EXPECT_TRUE(TopLevel<TFileForm>().isEmpty()) << "no computer remembered yet";
    Tree().RememberRow(Computer("ALPHA"));
    Tree().MenuAction(QStringLiteral("miSendFileSelected"))->setEnabled(true);
    Tree().MenuAction(QStringLiteral("miSendFileSelected"))->trigger();
    const QList<TFileForm*> windows = TopLevel<TFileForm>();
    ASSERT_EQ(windows.size(), 1);
    TFileForm* form = windows.first();
    EXPECT_FALSE(form->HasNickname());
    EXPECT_EQ(form->Consignee().ComputerName, QStringLiteral("ALPHA"));
    EXPECT_EQ(form->Consignee().IPAddress, QStringLiteral("192.0.2.1"));
    // "Change From Network...": the chooser's address is taken as it is (no
    // lookup of a name only the neighbourhood knows).
    FDesktop->SetComputerChooser(
        [](QWidget*) { return TRecipient{{}, QStringLiteral("NBONLY-PC"), QStringLiteral("192.0.2.7"), {}, {}}; });
    form->ChangeFromNetworkClick();
    EXPECT_EQ(form->Consignee().ComputerName, QStringLiteral("NBONLY-PC"));
    EXPECT_EQ(form->Consignee().IPAddress, QStringLiteral("192.0.2.7"));
    EXPECT_FALSE(form->HasNickname());
}

// Tray submenus: the computers in tree order with a separator, then the users.
TEST_F(MainNetwork, TraySubmenusListTheComputersFirst) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tree().Row(QStringLiteral("WORKGROUP")) != nullptr; }, 5000));
    for (const char* submenu : {"miTrayIconMenuSendMessage", "miTrayIconMenuSendFile"}) {
        const QStringList captions = SubmenuCaptions(submenu);
        EXPECT_TRUE(captions.isEmpty() || captions.first() != QStringLiteral("-")) << submenu;
    }
    OpenWorkgroup();
    for (const char* submenu : {"miTrayIconMenuSendMessage", "miTrayIconMenuSendFile"}) {
        const QStringList captions = SubmenuCaptions(submenu);
        ASSERT_GE(captions.size(), 4) << submenu;
        EXPECT_EQ(captions.mid(0, 4), (QStringList{"ALPHA", "BETA", "GAMMA", "-"})) << submenu;
    }
    // A computer item opens a message window for that computer, its target in the hint.
    QMenu* messages = Form().Action(QStringLiteral("miTrayIconMenuSendMessage"))->menu();
    QAction* gamma = messages->actions().at(2);
    EXPECT_EQ(gamma->data().toInt(), 1206);
    EXPECT_EQ(gamma->statusTip(), QStringLiteral("\tGAMMA\t192.0.2.3\t"));
    gamma->trigger();
    QList<TNewMsgForm*> windows = TopLevel<TNewMsgForm>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_FALSE(windows.first()->UseNickname());
    ASSERT_EQ(windows.first()->Recipients().size(), 1);
    EXPECT_EQ(windows.first()->Recipients()[0].ComputerName, QStringLiteral("GAMMA"));
    QMenu* files = Form().Action(QStringLiteral("miTrayIconMenuSendFile"))->menu();
    QAction* alpha = files->actions().at(0);
    EXPECT_EQ(alpha->data().toInt(), 1304);
    alpha->trigger();
    ASSERT_EQ(TopLevel<TFileForm>().size(), 1);
    EXPECT_EQ(TopLevel<TFileForm>().first()->Consignee().ComputerName, QStringLiteral("ALPHA"));
    EXPECT_FALSE(TopLevel<TFileForm>().first()->HasNickname());
}
