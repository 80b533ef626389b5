// The network panel and the computer chooser over a neighbourhood service
// fed by a table source: rows, texts, ticks, the menu's rules, the commands.
#include "neighbourhood/widgets/ComputerChooserUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"

#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "support/CaseName.h"
#include "support/NetPanelFixture.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace NetFake;

namespace {

QStringList ChildTexts(const QTreeWidgetItem* row) {
    QStringList texts;
    for (int i = 0; i < row->childCount(); ++i) texts << row->child(i)->text(0);
    return texts;
}

bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }

class NetworkTree : public ::testing::Test {
protected:
    TNeighbourhoodService FService;
    std::shared_ptr<TFakeSource> FSource = Office();
    TNetworkTree FTree{FService};

    NetworkTree() {
        UseOffice(FService, FSource);
        FTree.resize(300, 400);
    }

    // The root read, WORKGROUP expanded and every computer's resolution over.
    QTreeWidgetItem* OpenWorkgroup() {
        FTree.LoadNetworkRoot();
        EXPECT_TRUE(WaitFor([&] { return FTree.Row(QStringLiteral("WORKGROUP")) != nullptr; }));
        QTreeWidgetItem* workgroup = FTree.Row(QStringLiteral("WORKGROUP"));
        if (!workgroup) return nullptr;
        workgroup->setExpanded(true);
        EXPECT_TRUE(WaitFor([&] { return !FTree.IsReading(workgroup) && Resolved(workgroup) == 3; }));
        return workgroup;
    }
    static int Resolved(const QTreeWidgetItem* row) {
        int resolved = 0;
        for (int i = 0; i < row->childCount(); ++i)
            if (const auto item = TNetworkTree::ItemOf(row->child(i)); item && item->Resolved) ++resolved;
        return resolved;
    }
    QTreeWidgetItem* Computer(const char* name) const {
        return FTree.Row(QStringLiteral("WORKGROUP/") + QString::fromLatin1(name));
    }
    void Show() {
        FTree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&FTree));
    }
    void Select(QTreeWidgetItem* row) {
        FTree.setCurrentItem(row);
        row->setSelected(true);
    }
    // The context menu as a right click on the row opens it (none: on the empty area below).
    void OpenMenuOn(QTreeWidgetItem* row) {
        const QPoint at = row ? FTree.visualItemRect(row).center() : QPoint(5, FTree.viewport()->height() - 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, FTree.viewport()->mapToGlobal(at));
        QApplication::sendEvent(FTree.viewport(), &event);
        FTree.Menu()->hide();
    }
    QStringList EnabledItems() const {
        QStringList enabled;
        for (QAction* action : FTree.Menu()->actions())
            if (!action->isSeparator() && action->isEnabled()) enabled << action->objectName();
        return enabled;
    }
};

} // namespace

// A workgroup with three computers, one of which does not resolve.
TEST_F(NetworkTree, ComputersShowNameAndAddressOrUnknownIpSortedByText) {
    QTreeWidgetItem* root = FTree.RootRow();
    ASSERT_EQ(root, nullptr);
    QTreeWidgetItem* workgroup = OpenWorkgroup();
    ASSERT_NE(workgroup, nullptr);
    root = FTree.RootRow();
    EXPECT_EQ(root->text(0), QStringLiteral("Network Neighborhood"));
    EXPECT_EQ(ChildTexts(root), (QStringList{"SALES", "WORKGROUP"}));
    EXPECT_EQ(ChildTexts(workgroup), (QStringList{"ALPHA [192.0.2.1]", "BETA [Unknown IP]", "GAMMA [192.0.2.3]"}));
    // Containers offer an expand button before they are read; computers never have one.
    EXPECT_EQ(FTree.Row(QStringLiteral("SALES"))->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Computer("ALPHA")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    // The unresolved one is still a target, by name with an empty address.
    const TRecipient beta = TNetworkTree::RecipientOf(*TNetworkTree::ItemOf(Computer("BETA")));
    EXPECT_EQ(beta.ComputerName, QStringLiteral("BETA"));
    EXPECT_TRUE(beta.IPAddress.isEmpty());
    EXPECT_TRUE(beta.NickName.isEmpty());
    EXPECT_TRUE(beta.UserId.isEmpty());
}

TEST_F(NetworkTree, RowTextFollowsTheResolution) {
    TNetItem item;
    item.Kind = TNetKind::nkServer;
    item.ComputerName = QStringLiteral("DELTA");
    EXPECT_EQ(TNetworkTree::RowText(item), QStringLiteral("DELTA"));
    item.Resolved = true;
    EXPECT_EQ(TNetworkTree::RowText(item), QStringLiteral("DELTA [Unknown IP]"));
    item.IPAddress = QStringLiteral("192.0.2.9");
    EXPECT_EQ(TNetworkTree::RowText(item), QStringLiteral("DELTA [192.0.2.9]"));
    item.Resolved = false;  // an address a source gave before resolution ended
    EXPECT_EQ(TNetworkTree::RowText(item), QStringLiteral("DELTA [192.0.2.9]"));
    item.Kind = TNetKind::nkDomain;
    item.DisplayName = QStringLiteral("SALES");
    EXPECT_EQ(TNetworkTree::RowText(item), QStringLiteral("SALES"));
}

// "Unknown IP" is drawn in the language in use, also after a switch.
TEST_F(NetworkTree, UnknownIpFollowsTheLanguage) {
    ASSERT_NE(OpenWorkgroup(), nullptr);
    ASSERT_TRUE(UserInterfaceLang().SwitchLanguage(QStringLiteral("Deutsch")));
    FTree.TranslateCaptions();
    const QString german = Computer("BETA")->text(0);
    const QString menu = FTree.MenuAction(QStringLiteral("miRefreshTree"))->text();
    const QString root = FTree.RootRow()->text(0);
    UserInterfaceLang().SwitchLanguage(QStringLiteral("English"));
    FTree.TranslateCaptions();
    EXPECT_EQ(german, QStringLiteral("BETA [Unbekannte IP]"));
    EXPECT_NE(menu, QStringLiteral("Refresh Entire Tree"));
    EXPECT_EQ(root, QStringLiteral("Netzwerkumgebung"));
    EXPECT_EQ(Computer("BETA")->text(0), QStringLiteral("BETA [Unknown IP]"));
}

TEST_F(NetworkTree, ContainersAreReadOnceOnFirstExpansion) {
    QTreeWidgetItem* workgroup = OpenWorkgroup();
    ASSERT_NE(workgroup, nullptr);
    const int calls = FSource->Calls.load();
    workgroup->setExpanded(false);
    workgroup->setExpanded(true);
    QTest::qWait(50);
    EXPECT_EQ(FSource->Calls.load(), calls);
    // An empty container loses its expand button once read.
    QTreeWidgetItem* sales = FTree.Row(QStringLiteral("SALES"));
    sales->setExpanded(true);
    ASSERT_TRUE(WaitFor([&] { return !FTree.IsReading(sales); }));
    EXPECT_EQ(sales->childCount(), 0);
    EXPECT_EQ(sales->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// A read that has not answered yet shows a row saying so, and the window goes on.
TEST_F(NetworkTree, ARunningReadShowsASearchingRow) {
    FTree.LoadNetworkRoot();
    QTreeWidgetItem* root = FTree.RootRow();
    ASSERT_TRUE(FTree.IsReading(root));
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("Searching the network..."));
    EXPECT_FALSE(root->child(0)->flags() & Qt::ItemIsSelectable);
    ASSERT_TRUE(WaitFor([&] { return !FTree.IsReading(root); }));
    EXPECT_EQ(ChildTexts(root), (QStringList{"SALES", "WORKGROUP"}));
}

TEST_F(NetworkTree, TheRootCannotCollapse) {
    Show();
    FTree.LoadNetworkRoot();
    QTreeWidgetItem* root = FTree.RootRow();
    ASSERT_TRUE(root->isExpanded());
    FTree.collapseItem(root);
    EXPECT_TRUE(root->isExpanded());
    Select(root);
    QTest::keyClick(FTree.viewport(), Qt::Key_Left);
    QTest::keyClick(&FTree, Qt::Key_Left);
    EXPECT_TRUE(root->isExpanded());
    QTest::mouseDClick(FTree.viewport(), Qt::LeftButton, {}, FTree.visualItemRect(root).center());
    EXPECT_TRUE(root->isExpanded());
}

// ---------------------------------------------------------------- ticks

namespace {

struct TTickCase {
    std::string Name;
    const char* Row;                 // computer or container to act on
    std::function<void(TNetworkTree&, QTreeWidgetItem*)> Act;
    bool Flips;
};
void PrintTo(const TTickCase& c, std::ostream* os) { *os << c.Name; }

void Key(TNetworkTree& tree, Qt::Key key, Qt::KeyboardModifiers held = {}) { QTest::keyClick(&tree, key, held); }

class NetworkTicks : public NetworkTree, public ::testing::WithParamInterface<TTickCase> {};

} // namespace

TEST_P(NetworkTicks, FlipsTheCheckBoxOnlyAsDocumented) {
    const TTickCase& c = GetParam();
    Show();
    ASSERT_NE(OpenWorkgroup(), nullptr);
    QTreeWidgetItem* row = FTree.Row(QString::fromLatin1(c.Row));
    ASSERT_NE(row, nullptr);
    Select(row);
    FTree.setFocus();
    const bool before = row->data(0, TNetworkTree::CheckedRole).toBool();
    c.Act(FTree, row);
    EXPECT_EQ(row->data(0, TNetworkTree::CheckedRole).toBool(), c.Flips ? !before : before);
    EXPECT_EQ(FTree.IsChecked(row), c.Flips);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkTicks,
    ::testing::Values(
        TTickCase{"SpaceOnComputer", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space); }, true},
        TTickCase{"SpaceOnUnresolvedComputer", "WORKGROUP/BETA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space); }, true},
        TTickCase{"ShiftSpace", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space, Qt::ShiftModifier); }, false},
        TTickCase{"CtrlSpace", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space, Qt::ControlModifier); }, false},
        TTickCase{"AltSpace", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space, Qt::AltModifier); }, false},
        TTickCase{"SpaceOnContainer", "WORKGROUP", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Space); }, false},
        TTickCase{"ClickOnCheckBox", "WORKGROUP/GAMMA",
                  [](TNetworkTree& t, QTreeWidgetItem* r) {
                      QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.StateImageRect(r).center());
                  },
                  true},
        TTickCase{"ClickOnLabel", "WORKGROUP/GAMMA",
                  [](TNetworkTree& t, QTreeWidgetItem* r) {
                      QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.StateImageRect(r).center() + QPoint(40, 0));
                  },
                  false},
        TTickCase{"RightClickOnCheckBox", "WORKGROUP/GAMMA",
                  [](TNetworkTree& t, QTreeWidgetItem* r) {
                      QTest::mouseClick(t.viewport(), Qt::RightButton, {}, t.StateImageRect(r).center());
                  },
                  false}),
    TCaseName());

TEST_F(NetworkTree, TicksGoWithARefreshOfTheirContainerOrTheTree) {
    QTreeWidgetItem* workgroup = OpenWorkgroup();
    ASSERT_NE(workgroup, nullptr);
    FTree.SetChecked(Computer("ALPHA"), true);
    FTree.SetChecked(Computer("GAMMA"), true);
    EXPECT_EQ(FTree.CheckedComputers().size(), 2);
    // Refresh Selected Node on the workgroup: read again, ticks gone.
    FTree.RememberRow(workgroup);
    FTree.ReloadNetworkTreeNodeExecute();
    EXPECT_TRUE(FTree.CheckedComputers().isEmpty());
    ASSERT_TRUE(WaitFor([&] { return !FTree.IsReading(workgroup) && Resolved(workgroup) == 3; }));
    EXPECT_TRUE(FTree.CheckedComputers().isEmpty());
    EXPECT_EQ(ChildTexts(workgroup).size(), 3);

    // Refresh Entire Tree: only the root level comes back, unticked.
    FTree.SetChecked(Computer("BETA"), true);
    FTree.ReloadNetworkTreeExecute();
    ASSERT_TRUE(WaitFor([&] { return !FTree.IsReading(FTree.RootRow()); }));
    EXPECT_EQ(ChildTexts(FTree.RootRow()), (QStringList{"SALES", "WORKGROUP"}));
    EXPECT_EQ(Computer("BETA"), nullptr);
    EXPECT_TRUE(FTree.CheckedComputers().isEmpty());
    EXPECT_FALSE(FTree.Row(QStringLiteral("WORKGROUP"))->isExpanded());
    EXPECT_TRUE(FTree.RootRow()->isExpanded());
}

TEST_F(NetworkTree, TargetsComeInTreeOrderWithoutNicknames) {
    ASSERT_NE(OpenWorkgroup(), nullptr);
    FTree.SetChecked(Computer("GAMMA"), true);
    FTree.SetChecked(Computer("ALPHA"), true);
    const TRecipients ticked = FTree.CheckedComputers();
    ASSERT_EQ(ticked.size(), 2);
    EXPECT_EQ(ticked[0].ComputerName, QStringLiteral("ALPHA"));
    EXPECT_EQ(ticked[0].IPAddress, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(ticked[1].ComputerName, QStringLiteral("GAMMA"));
    for (const TRecipient& r : ticked) {
        EXPECT_TRUE(r.NickName.isEmpty());
        EXPECT_TRUE(r.SendStatus.isEmpty());
        EXPECT_TRUE(r.UserId.isEmpty());
    }
    EXPECT_EQ(FTree.ConsoleNames(true), QStringLiteral("ALPHA\tGAMMA"));
    EXPECT_EQ(FTree.AllComputers().size(), 3);
    // Nothing remembered yet: no selected computer.
    EXPECT_FALSE(FTree.SelectedComputer().has_value());
    EXPECT_TRUE(FTree.ConsoleNames(false).isEmpty());
    FTree.RememberRow(Computer("BETA"));
    EXPECT_EQ(FTree.ConsoleNames(false), QStringLiteral("BETA"));
    // A remembered container is no computer.
    FTree.RememberRow(FTree.Row(QStringLiteral("WORKGROUP")));
    EXPECT_FALSE(FTree.SelectedComputer().has_value());
}

// ---------------------------------------------------------------- menu

namespace {

struct TMenuCase {
    std::string Name;
    const char* Row;  // "" the root
    bool Ticked;      // a computer is ticked somewhere
    QStringList Enabled;
};
void PrintTo(const TMenuCase& c, std::ostream* os) { *os << c.Name; }

class NetworkMenu : public NetworkTree, public ::testing::WithParamInterface<TMenuCase> {};

const QString kSelected = QStringLiteral("miSendMessageSelected");
const QString kChecked = QStringLiteral("miSendMessageChecked");
const QString kConsoleSelected = QStringLiteral("miSendCMessageSelected");
const QString kConsoleChecked = QStringLiteral("miSendCMessageChecked");
const QString kFile = QStringLiteral("miSendFileSelected");
const QString kNode = QStringLiteral("miRefreshSelectedNode");
const QString kTree = QStringLiteral("miRefreshTree");

} // namespace

TEST_P(NetworkMenu, ItemsAreEnabledByTheRowTheMenuOpensOn) {
    const TMenuCase& c = GetParam();
    Show();
    // Before the menu first opens on a row only "Refresh Entire Tree" works.
    EXPECT_EQ(EnabledItems(), QStringList{kTree});
    ASSERT_NE(OpenWorkgroup(), nullptr);
    if (c.Ticked) FTree.SetChecked(Computer("GAMMA"), true);
    QTreeWidgetItem* row = FTree.Row(QString::fromLatin1(c.Row));
    ASSERT_NE(row, nullptr);
    OpenMenuOn(row);
    EXPECT_EQ(EnabledItems(), c.Enabled);
    EXPECT_EQ(FTree.RememberedRow(), row);
    EXPECT_EQ(FTree.currentItem(), row) << "the right button selects";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkMenu,
    ::testing::Values(TMenuCase{"Root", "", false, {kTree}},
                      TMenuCase{"RootTicked", "", true, {kChecked, kConsoleChecked, kTree}},
                      TMenuCase{"Container", "WORKGROUP", false, {kNode, kTree}},
                      TMenuCase{"ContainerTicked", "WORKGROUP", true, {kChecked, kConsoleChecked, kNode, kTree}},
                      TMenuCase{"Computer", "WORKGROUP/ALPHA", false, {kSelected, kConsoleSelected, kFile, kTree}},
                      TMenuCase{"UnresolvedComputer", "WORKGROUP/BETA", false, {kSelected, kConsoleSelected, kFile, kTree}},
                      TMenuCase{"ComputerTicked", "WORKGROUP/ALPHA", true,
                                {kSelected, kChecked, kConsoleSelected, kConsoleChecked, kFile, kTree}}),
    TCaseName());

TEST_F(NetworkTree, MenuOnNoRowKeepsTheItemsAsTheyWere) {
    Show();
    ASSERT_NE(OpenWorkgroup(), nullptr);
    OpenMenuOn(Computer("ALPHA"));
    const QStringList before = EnabledItems();
    FTree.clearSelection();
    FTree.setCurrentItem(nullptr);
    OpenMenuOn(nullptr);
    EXPECT_EQ(EnabledItems(), before);
    EXPECT_EQ(FTree.RememberedRow(), Computer("ALPHA"));
}

TEST_F(NetworkTree, MenuItemsAskForTheirCommandsByTag) {
    ASSERT_NE(OpenWorkgroup(), nullptr);
    QSignalSpy asked(&FTree, &TNetworkTree::CommandRequested);
    for (const QString& name : {kSelected, kChecked, kConsoleSelected, kConsoleChecked, kFile}) {
        QAction* item = FTree.MenuAction(name);
        item->setEnabled(true);
        item->trigger();
    }
    QList<int> tags;
    for (const QList<QVariant>& call : asked) tags << call.at(0).toInt();
    EXPECT_EQ(tags, (QList<int>{1203, 1205, 1104, 1105, 1303}));
}

// ---------------------------------------------------------------- opening

namespace {

struct TOpenCase {
    std::string Name;
    const char* Row;
    std::function<void(TNetworkTree&, QTreeWidgetItem*)> Act;
    bool Opens;
};
void PrintTo(const TOpenCase& c, std::ostream* os) { *os << c.Name; }

class NetworkOpen : public NetworkTree, public ::testing::WithParamInterface<TOpenCase> {};

void DoubleClickLabel(TNetworkTree& t, QTreeWidgetItem* r) {
    QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, t.visualItemRect(r).center() + QPoint(10, 0));
}

} // namespace

TEST_P(NetworkOpen, EnterOrDoubleClickOnAComputerSendsAMessage) {
    const TOpenCase& c = GetParam();
    Show();
    ASSERT_NE(OpenWorkgroup(), nullptr);
    QTreeWidgetItem* row = FTree.Row(QString::fromLatin1(c.Row));
    ASSERT_NE(row, nullptr);
    Select(row);
    FTree.setFocus();
    QSignalSpy asked(&FTree, &TNetworkTree::CommandRequested);
    c.Act(FTree, row);
    if (c.Opens) {
        ASSERT_EQ(asked.size(), 1);
        EXPECT_EQ(asked.at(0).at(0).toInt(), TNetworkTree::TagSendMessageSelected);
        EXPECT_EQ(FTree.RememberedRow(), row);
        EXPECT_EQ(FTree.SelectedComputer()->ComputerName, TNetworkTree::ItemOf(row)->ComputerName);
    } else {
        EXPECT_TRUE(asked.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkOpen,
    ::testing::Values(
        TOpenCase{"Enter", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Return); }, true},
        TOpenCase{"KeypadEnter", "WORKGROUP/BETA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Enter, Qt::KeypadModifier); }, true},
        TOpenCase{"CtrlEnter", "WORKGROUP/ALPHA", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Return, Qt::ControlModifier); }, false},
        TOpenCase{"EnterOnContainer", "WORKGROUP", [](TNetworkTree& t, QTreeWidgetItem*) { Key(t, Qt::Key_Return); }, false},
        TOpenCase{"DoubleClickOnLabel", "WORKGROUP/GAMMA", DoubleClickLabel, true},
        TOpenCase{"DoubleClickOnContainer", "WORKGROUP", DoubleClickLabel, false},
        TOpenCase{"DoubleClickOnCheckBox", "WORKGROUP/GAMMA",
                  [](TNetworkTree& t, QTreeWidgetItem* r) {
                      QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, t.StateImageRect(r).center());
                  },
                  false}),
    TCaseName());

// Sources that cannot work say so on the root's tooltip, once each, and never in a box.
TEST_F(NetworkTree, SourceNoticesAreSaidOnceEach) {
    FTree.LoadNetworkRoot();
    QSignalSpy said(&FTree, &TNetworkTree::SourceNotice);
    emit FService.SourceUnavailable(nsMdns, QStringLiteral("No mDNS here."));
    emit FService.SourceUnavailable(nsMdns, QStringLiteral("No mDNS here."));
    emit FService.SourceFailed(nsSmb, QStringLiteral("WORKGROUP"), QStringLiteral("SMB timed out."));
    EXPECT_EQ(said.size(), 2);
    EXPECT_EQ(FTree.RootRow()->toolTip(0), QStringLiteral("No mDNS here.\nSMB timed out."));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// ---------------------------------------------------------------- chooser

TEST_F(NetworkTree, ChooserLetsOnlyComputersBeChosen) {
    TComputerChooser chooser(FService, QStringLiteral("Choose a computer from windows network."));
    TNetworkTree* tree = chooser.Tree();
    QPushButton* ok = chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_TRUE(chooser.findChild<QLabel*>(QStringLiteral("lblTitle"))->text().contains(QStringLiteral("windows network")));
    ASSERT_TRUE(WaitFor([&] { return tree->Row(QStringLiteral("WORKGROUP")) != nullptr; }));
    QTreeWidgetItem* workgroup = tree->Row(QStringLiteral("WORKGROUP"));
    tree->setCurrentItem(workgroup);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(chooser.Chosen().has_value());
    // Neither OK nor Enter chooses a container.
    QSignalSpy done(&chooser, &QDialog::finished);
    ok->click();
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_TRUE(done.isEmpty());
    workgroup->setExpanded(true);
    ASSERT_TRUE(WaitFor([&] {
        const QTreeWidgetItem* alpha = tree->Row(QStringLiteral("WORKGROUP/ALPHA"));
        return alpha && TNetworkTree::ItemOf(alpha)->Resolved;
    }));
    tree->setCurrentItem(tree->Row(QStringLiteral("WORKGROUP/ALPHA")));
    EXPECT_TRUE(ok->isEnabled());
    ok->click();
    ASSERT_EQ(done.size(), 1);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    ASSERT_TRUE(chooser.Chosen().has_value());
    EXPECT_EQ(chooser.Chosen()->ComputerName, QStringLiteral("ALPHA"));
    EXPECT_EQ(chooser.Chosen()->IPAddress, QStringLiteral("192.0.2.1"));
    // Its rows have no check boxes.
    EXPECT_TRUE(tree->StateImageRect(tree->Row(QStringLiteral("WORKGROUP/ALPHA"))).isEmpty());
}

// A typed name is chosen as it stands; it takes the tree's address only when
// it names the selected computer.
TEST_F(NetworkTree, ChooserTakesATypedName) {
    TComputerChooser chooser(FService, QStringLiteral("title"));
    TNetworkTree* tree = chooser.Tree();
    QLineEdit* name = chooser.NameEdit();
    QPushButton* ok = chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    ASSERT_TRUE(WaitFor([&] { return tree->Row(QStringLiteral("WORKGROUP")) != nullptr; }));
    tree->Row(QStringLiteral("WORKGROUP"))->setExpanded(true);
    ASSERT_TRUE(WaitFor([&] {
        const QTreeWidgetItem* alpha = tree->Row(QStringLiteral("WORKGROUP/ALPHA"));
        return alpha && TNetworkTree::ItemOf(alpha)->Resolved;
    }));
    struct TCase {
        const char* Typed;
        bool SelectAlpha;
        const char* Name;     // nullptr: nothing chosen
        const char* Address;
    };
    const TCase cases[] = {
        {"", false, nullptr, ""},
        {"   ", false, nullptr, ""},
        {"NOSUCHPC", false, "NOSUCHPC", ""},
        {" nosuchpc ", true, "nosuchpc", ""},
        {"alpha", true, "ALPHA", "192.0.2.1"},
        {"alpha", false, "alpha", ""},
    };
    for (const TCase& c : cases) {
        tree->setCurrentItem(c.SelectAlpha ? tree->Row(QStringLiteral("WORKGROUP/ALPHA"))
                                           : tree->Row(QStringLiteral("WORKGROUP")));
        name->setText(QString::fromUtf8(c.Typed));
        const std::optional<TRecipient> chosen = chooser.Chosen();
        EXPECT_EQ(ok->isEnabled(), c.Name != nullptr) << c.Typed;
        ASSERT_EQ(chosen.has_value(), c.Name != nullptr) << c.Typed;
        if (!chosen) continue;
        EXPECT_EQ(chosen->ComputerName, QString::fromUtf8(c.Name)) << c.Typed;
        EXPECT_EQ(chosen->IPAddress, QString::fromUtf8(c.Address)) << c.Typed;
    }
    // Selecting a computer puts its name in the box.
    name->clear();
    tree->setCurrentItem(tree->Row(QStringLiteral("WORKGROUP")));
    tree->setCurrentItem(tree->Row(QStringLiteral("WORKGROUP/ALPHA")));
    EXPECT_EQ(name->text(), QStringLiteral("ALPHA"));
}

// A chooser opened while the panel shows the tree takes what is known and
// leaves the panel's rows and ticks alone.
TEST_F(NetworkTree, ChooserDoesNotReReadWhatThePanelShows) {
    ASSERT_NE(OpenWorkgroup(), nullptr);
    FTree.SetChecked(Computer("ALPHA"), true);
    const int calls = FSource->Calls.load();
    TComputerChooser chooser(FService, QStringLiteral("title"));
    TNetworkTree* tree = chooser.Tree();
    ASSERT_NE(tree->Row(QStringLiteral("WORKGROUP")), nullptr) << "the known workgroups at once";
    tree->Row(QStringLiteral("WORKGROUP"))->setExpanded(true);
    QTest::qWait(50);
    EXPECT_EQ(ChildTexts(tree->Row(QStringLiteral("WORKGROUP"))), ChildTexts(FTree.Row(QStringLiteral("WORKGROUP"))));
    EXPECT_EQ(FSource->Calls.load(), calls);
    ASSERT_NE(Computer("ALPHA"), nullptr);
    EXPECT_TRUE(FTree.IsChecked(Computer("ALPHA")));
}

// The check box is drawn where a click flips it, and shows the tick.
TEST_F(NetworkTree, TheCheckBoxIsDrawnWhereItIsClicked) {
    Show();
    ASSERT_NE(OpenWorkgroup(), nullptr);
    QTreeWidgetItem* alpha = Computer("ALPHA");
    const QRect box = FTree.StateImageRect(alpha);
    ASSERT_FALSE(box.isEmpty());
    const auto drawn = [&] { return FTree.viewport()->grab(box).toImage(); };
    const QImage unticked = drawn();
    FTree.SetChecked(alpha, true);
    const QImage ticked = drawn();
    EXPECT_NE(unticked, ticked);
    // The same box as the kit's image, over the view's background.
    QImage expected(unticked.size(), QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(unticked.devicePixelRatio());
    expected.fill(FTree.viewport()->palette().color(QPalette::Base));
    {
        QPainter painter(&expected);
        painter.drawPixmap(QRect(QPoint(0, 0), box.size()),
                           TAppImages::Instance().Pixmap(QStringLiteral("U_CHECKBOX_CHECKED"), box.width(), unticked.devicePixelRatio()));
    }
    EXPECT_EQ(ticked.convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
}
