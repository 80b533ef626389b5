#include "presence/UserGroupUnit.h"

#include "core/ParamsUnit.h"
#include "platform/UserStoreUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <memory>
#include <random>

namespace {

const QString kAnn = QStringLiteral("PC-ANN{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString kBob = QStringLiteral("PC-BOB{0B1C2D3E-0000-0000-0000-000000000002}");
const QString kCid = QStringLiteral("PC-CID"); // a peer without unique id

// A groups file in its own program folder; the interface language is
// "Testish", where Favorite Contacts reads "Favoris".
class UserGroupFixture {
protected:
    UserGroupFixture()
        : FParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                  TUserStore(FHome.File(QStringLiteral("user/registry.ini")), FHome.File(QStringLiteral("user/a.desktop")))) {
        FHome.Write(QStringLiteral("Languages/Test.lng"),
                    "[Info]\r\nLanguage=Testish\r\n[String]\r\nFavorite Contacts=Favoris\r\n");
        FParams[spUserInterfaceLanguageInUse] = QStringLiteral("Testish");
        FLang = std::make_unique<TUserInterfaceLang>(FHome.File(QStringLiteral("Languages")), FParams);
    }

    QString FileName() const { return FHome.File(QStringLiteral("UserGroup.ini")); }
    std::unique_ptr<TUserGroup> Open() { return std::make_unique<TUserGroup>(FileName(), FLang.get()); }
    // Starts from the given file content instead of a new file.
    std::unique_ptr<TUserGroup> Open(const QByteArray& content) {
        FHome.Write(QStringLiteral("UserGroup.ini"), content);
        return Open();
    }
    QByteArray Bytes() const { return FHome.Read(QStringLiteral("UserGroup.ini")); }

    TTempHome FHome;
    TApplicationParams FParams;
    std::unique_ptr<TUserInterfaceLang> FLang;
};

class UserGroup : public UserGroupFixture, public ::testing::Test {};

TEST_F(UserGroup, NewFileGetsThreeEmptySectionsInOrder) {
    const auto store = Open();
    EXPECT_EQ(Bytes(), QByteArray("[Users]\r\n[Groups]\r\n[User Positions]\r\n"));
}

TEST_F(UserGroup, ExistingFileIsNotRewrittenByOpening) {
    const QByteArray content = "; kept\n[Groups]\nSales=1\n";
    const auto store = Open(content);
    EXPECT_EQ(Bytes(), content);
}

TEST_F(UserGroup, AddingAGroupTwiceLeavesOne) {
    const auto store = Open();
    EXPECT_TRUE(store->AddGroup(QStringLiteral("Sales")));
    EXPECT_FALSE(store->AddGroup(QStringLiteral("Sales")));
    EXPECT_FALSE(store->AddGroup(QStringLiteral("SALES")));
    QStringList groups;
    store->ReadGroups(&groups);
    EXPECT_EQ(groups, QStringList{QStringLiteral("Sales=-1")});
    // Positions are written under the name as stored.
    EXPECT_TRUE(store->SetGroupPosition(1, QStringLiteral("sales")));
    store->ReadGroups(&groups);
    EXPECT_EQ(groups, QStringList{QStringLiteral("Sales=1")});
}

// --- Names the file can and cannot keep ---

struct TNameCase {
    const char* Name;
    QString Group;
    bool Valid;
};

void PrintTo(const TNameCase& c, std::ostream* os) { *os << c.Name; }

class UserGroupNames : public UserGroupFixture, public ::testing::TestWithParam<TNameCase> {};

TEST_P(UserGroupNames, ValidNamesRoundTripOthersAreRefused) {
    const TNameCase& c = GetParam();
    const auto store = Open();
    store->AddGroup(QStringLiteral("Existing"));
    const QByteArray before = Bytes();
    EXPECT_EQ(TUserGroup::IsValidGroupName(c.Group), c.Valid);
    EXPECT_EQ(store->AddGroup(c.Group), c.Valid);
    EXPECT_EQ(store->RenameGroup(QStringLiteral("Existing"), c.Group), false); // taken by the add, or refused
    if (!c.Valid) {
        EXPECT_FALSE(store->SetUserGroup(kAnn, c.Group));
        EXPECT_EQ(Bytes(), before);
        EXPECT_EQ(store->GetUserGroup(kAnn), QStringLiteral("Favoris"));
        return;
    }
    EXPECT_TRUE(store->SetUserGroup(kAnn, c.Group));
    EXPECT_EQ(store->GetUserGroup(kAnn), c.Group);
    const QList<TStoredGroup> groups = store->ReadGroupsInOrder();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].Name, QStringLiteral("Existing"));
    EXPECT_EQ(groups[1].Name, c.Group);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserGroupNames,
    ::testing::Values(
        TNameCase{"Plain", QStringLiteral("Field Sales"), true},
        TNameCase{"Punctuation", QStringLiteral("Q&A; R[&]D"), true},
        TNameCase{"OneQuote", QStringLiteral("O'Brien"), true},
        TNameCase{"InnerQuotes", QStringLiteral("Team \"A\""), true},
        TNameCase{"NonLatin", QString::fromUtf8("\xE9\x94\x80\xE5\x94\xAE\xE9\x83\xA8"), true},
        TNameCase{"Empty", QString(), false},
        TNameCase{"Blank", QStringLiteral("   "), false},
        TNameCase{"LeadingBlank", QStringLiteral(" Sales"), false},
        TNameCase{"TrailingTab", QStringLiteral("Sales\t"), false},
        TNameCase{"EqualsSign", QStringLiteral("a=b"), false},
        TNameCase{"CommentStart", QStringLiteral(";Sales"), false},
        TNameCase{"SectionStart", QStringLiteral("[Users]"), false},
        TNameCase{"LineBreak", QStringLiteral("Sales\r\n[Users]\r\nx"), false},
        TNameCase{"DoubleQuoted", QStringLiteral("\"Sales\""), false},
        TNameCase{"SingleQuoted", QStringLiteral("'Sales'"), false}),
    TCaseName());

// --- Renaming ---

const QByteArray kTeams = "[Users]\r\n"
                          "PC-ANN{6F9619FF-8B86-D011-B42D-00C04FC964FF}=Sales\r\n"
                          "PC-BOB{0B1C2D3E-0000-0000-0000-000000000002}=sales\r\n"
                          "PC-CID=Support\r\n"
                          "PC-DAN=Favoris\r\n"
                          "[Groups]\r\n"
                          "Sales=3\r\n"
                          "Support=1\r\n"
                          "[User Positions]\r\n"
                          "PC-CID=0\r\n";

TEST_F(UserGroup, RenameMovesEveryStoredUserAndKeepsPosition) {
    const auto store = Open(kTeams);
    EXPECT_TRUE(store->RenameGroup(QStringLiteral("Sales"), QStringLiteral("Field Sales")));
    QStringList groups;
    store->ReadGroups(&groups);
    EXPECT_EQ(groups, (QStringList{QStringLiteral("Support=1"), QStringLiteral("Field Sales=3")}));
    EXPECT_EQ(store->GetUserGroup(kAnn), QStringLiteral("Field Sales"));
    EXPECT_EQ(store->GetUserGroup(kBob), QStringLiteral("Field Sales"));
    EXPECT_EQ(store->GetUserGroup(kCid), QStringLiteral("Support"));
    EXPECT_EQ(store->GetUserGroup(QStringLiteral("PC-DAN")), QStringLiteral("Favoris"));
    EXPECT_EQ(store->GetUserPosition(kCid), 0);
}

struct TRefusedRenameCase {
    const char* Name;
    QString From;
    QString To;
};

void PrintTo(const TRefusedRenameCase& c, std::ostream* os) { *os << c.Name; }

class UserGroupRefusedRename : public UserGroupFixture, public ::testing::TestWithParam<TRefusedRenameCase> {};

TEST_P(UserGroupRefusedRename, ChangesNothing) {
    const auto store = Open(kTeams);
    EXPECT_FALSE(store->RenameGroup(GetParam().From, GetParam().To));
    EXPECT_EQ(Bytes(), kTeams);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserGroupRefusedRename,
    ::testing::Values(TRefusedRenameCase{"OntoExisting", QStringLiteral("Sales"), QStringLiteral("Support")},
                      TRefusedRenameCase{"OntoExistingOtherCase", QStringLiteral("Sales"), QStringLiteral("SUPPORT")},
                      TRefusedRenameCase{"ToItself", QStringLiteral("Sales"), QStringLiteral("Sales")},
                      TRefusedRenameCase{"Favorite", QStringLiteral("Favoris"), QStringLiteral("Friends")},
                      TRefusedRenameCase{"OntoFavorite", QStringLiteral("Sales"), QStringLiteral("FAVORIS")},
                      TRefusedRenameCase{"InvalidNewName", QStringLiteral("Sales"), QStringLiteral("a=b")}),
    TCaseName());

TEST_F(UserGroup, RenameChangingOnlyLetterCaseKeepsTheGroup) {
    const auto store = Open(kTeams);
    EXPECT_TRUE(store->RenameGroup(QStringLiteral("Sales"), QStringLiteral("SALES")));
    const QList<TStoredGroup> groups = store->ReadGroupsInOrder();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[1].Name, QStringLiteral("SALES"));
    EXPECT_EQ(groups[1].Position, 3);
    EXPECT_EQ(store->GetUserGroup(kAnn), QStringLiteral("SALES"));
    EXPECT_EQ(store->GetUserGroup(kBob), QStringLiteral("SALES"));
}

// --- Deleting ---

TEST_F(UserGroup, DeletedGroupKeepsItsUsersForARecreatedGroup) {
    const auto store = Open(kTeams);
    EXPECT_TRUE(store->DeleteGroup(QStringLiteral("SUPPORT")));
    QStringList groups;
    store->ReadGroups(&groups);
    EXPECT_EQ(groups, QStringList{QStringLiteral("Sales=3")});
    EXPECT_EQ(store->GetUserGroup(kCid), QStringLiteral("Support"));
    EXPECT_EQ(store->GetUserPosition(kCid), 0);
    EXPECT_FALSE(store->DeleteGroup(QStringLiteral("Support")));
    EXPECT_TRUE(store->AddGroup(QStringLiteral("Support")));
    EXPECT_EQ(store->GetUserGroup(kCid), QStringLiteral("Support"));
}

TEST_F(UserGroup, DeleteRemovesDuplicateLinesToo) {
    const auto store = Open("[Groups]\r\nSales=1\r\nSupport=2\r\nSALES=5\r\n");
    EXPECT_TRUE(store->DeleteGroup(QStringLiteral("Sales")));
    QStringList groups;
    store->ReadGroups(&groups);
    EXPECT_EQ(groups, QStringList{QStringLiteral("Support=2")});
}

TEST_F(UserGroup, FavoriteIsNeverStoredAsAGroup) {
    const auto store = Open();
    EXPECT_EQ(store->FavoriteName(), QStringLiteral("Favoris"));
    EXPECT_TRUE(store->IsFavorite(QStringLiteral(" FAVORIS ")));
    EXPECT_FALSE(store->AddGroup(QStringLiteral("Favoris")));
    EXPECT_FALSE(store->SetGroupPosition(0, QStringLiteral("Favoris")));
    EXPECT_FALSE(store->DeleteGroup(QStringLiteral("Favoris")));
    EXPECT_EQ(Bytes(), QByteArray("[Users]\r\n[Groups]\r\n[User Positions]\r\n"));
    // A user placed there explicitly is stored under the shown name.
    EXPECT_TRUE(store->SetUserGroup(kAnn, store->FavoriteName()));
    EXPECT_EQ(store->GetUserGroup(kAnn), QStringLiteral("Favoris"));
    EXPECT_TRUE(Bytes().contains("PC-ANN{6F9619FF-8B86-D011-B42D-00C04FC964FF}=Favoris\r\n"));
}

// --- Order of groups ---

TEST_F(UserGroup, TwelveGroupsComeBackInNumericOrder) {
    QList<int> positions;
    for (int i = 0; i < 12; ++i) positions << i;
    std::shuffle(positions.begin(), positions.end(), std::mt19937(7));
    QByteArray content = "[Groups]\r\n";
    for (int p : positions) content += "Group " + QByteArray::number(p) + "=" + QByteArray::number(p) + "\r\n";
    const auto store = Open(content);
    QList<int> read;
    QStringList names;
    for (const TStoredGroup& g : store->ReadGroupsInOrder()) {
        read << g.Position;
        names << g.Name;
    }
    EXPECT_EQ(read, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(names[2], QStringLiteral("Group 2"));
    EXPECT_EQ(names[10], QStringLiteral("Group 10"));
}

TEST_F(UserGroup, UnplacedGroupsLastAndTiesInFileOrder) {
    const auto store = Open("[Groups]\r\n"
                            "New=-1\r\n"
                            "Broken=abc\r\n"
                            "B=2\r\n"
                            "A=2\r\n"
                            "Favoris=0\r\n"
                            "Huge=99999999999\r\n"
                            "C=1\r\n"
                            "b=0\r\n"
                            "Hex=0x0\r\n");
    QStringList names;
    QList<int> positions;
    for (const TStoredGroup& g : store->ReadGroupsInOrder()) {
        names << g.Name;
        positions << g.Position;
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("Hex"), QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A"),
                                  QStringLiteral("New"), QStringLiteral("Broken"), QStringLiteral("Huge")}));
    EXPECT_EQ(positions, (QList<int>{0, 1, 2, 2, -1, -1, -1}));
}

// --- Users ---

TEST_F(UserGroup, UsersAreFoundWithoutCase) {
    const auto store = Open();
    EXPECT_TRUE(store->SetUserGroup(kAnn, QStringLiteral("Sales")));
    EXPECT_TRUE(store->SetUserPosition(4, kAnn));
    EXPECT_EQ(store->GetUserGroup(kAnn.toLower()), QStringLiteral("Sales"));
    EXPECT_EQ(store->GetUserPosition(kAnn.toLower()), 4);
    EXPECT_TRUE(store->SetUserGroup(kAnn.toLower(), QStringLiteral("Support")));
    EXPECT_EQ(Bytes().count("PC-ANN") + Bytes().count("pc-ann"), 2); // one line per section
}

TEST_F(UserGroup, UnknownUsersDefaultToFavoriteWithoutPosition) {
    const auto store = Open("[Users]\r\nPC-BOB{0B1C2D3E-0000-0000-0000-000000000002}=\r\n"
                            "[User Positions]\r\nPC-BOB{0B1C2D3E-0000-0000-0000-000000000002}=-7\r\nPC-CID=first\r\n");
    EXPECT_EQ(store->GetUserGroup(kAnn), QStringLiteral("Favoris"));
    EXPECT_EQ(store->GetUserPosition(kAnn), -1);
    EXPECT_EQ(store->GetUserGroup(kBob), QStringLiteral("Favoris"));
    EXPECT_EQ(store->GetUserPosition(kBob), -1);
    EXPECT_EQ(store->GetUserPosition(kCid), -1);
}

TEST_F(UserGroup, NegativePositionIsNeverStored) {
    const auto store = Open();
    EXPECT_FALSE(store->SetUserPosition(-1, kAnn));
    EXPECT_FALSE(store->SetGroupPosition(-1, QStringLiteral("Sales")));
    EXPECT_EQ(Bytes(), QByteArray("[Users]\r\n[Groups]\r\n[User Positions]\r\n"));
}

TEST_F(UserGroup, SavedPositionsFollowRowOrder) {
    const auto store = Open();
    store->SetUserPosition(9, kCid);
    EXPECT_TRUE(store->SaveUserPositions({kBob, QStringLiteral("BAD=KEY"), kCid, kAnn}));
    EXPECT_EQ(store->GetUserPosition(kBob), 0);
    EXPECT_EQ(store->GetUserPosition(kCid), 2);
    EXPECT_EQ(store->GetUserPosition(kAnn), 3);
    EXPECT_FALSE(Bytes().contains("BAD"));
}

struct TKeyCase {
    const char* Name;
    QString Key;
};

void PrintTo(const TKeyCase& c, std::ostream* os) { *os << c.Name; }

class UserGroupHostileKeys : public UserGroupFixture, public ::testing::TestWithParam<TKeyCase> {};

// Computer names and ids come from the network.
TEST_P(UserGroupHostileKeys, NeverReachTheFile) {
    const auto store = Open(kTeams);
    const QString key = GetParam().Key;
    EXPECT_FALSE(TUserGroup::IsValidUserKey(key));
    EXPECT_FALSE(store->SetUserGroup(key, QStringLiteral("Sales")));
    EXPECT_FALSE(store->SetUserPosition(1, key));
    EXPECT_TRUE(store->SaveUserPositions({key}));
    EXPECT_EQ(Bytes(), kTeams);
    EXPECT_EQ(store->GetUserGroup(key), QStringLiteral("Favoris"));
    EXPECT_EQ(store->GetUserPosition(key), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserGroupHostileKeys,
    ::testing::Values(TKeyCase{"Empty", QString()}, TKeyCase{"Blank", QStringLiteral(" \t")},
                      TKeyCase{"InjectsSection", QStringLiteral("PC\r\n[Groups]\r\nEvil")},
                      TKeyCase{"BareLineFeed", QStringLiteral("PC\nPC-CID")},
                      TKeyCase{"EqualsSign", QStringLiteral("PC-CID=Sales")},
                      TKeyCase{"Comment", QStringLiteral(";PC")}, TKeyCase{"Header", QStringLiteral("[Users]")},
                      TKeyCase{"NulCharacter", QStringLiteral("PC") + QChar(0) + QStringLiteral("X")},
                      // Read back trimmed, so never found again under its own key.
                      TKeyCase{"LeadingBlank", QStringLiteral(" PC-CID")},
                      TKeyCase{"TrailingBlank", QStringLiteral("PC-CID ")}),
    TCaseName());

TEST_F(UserGroup, UnreadableFileIsNeverOverwritten) {
    const auto store = Open(kTeams);
    QFile file(FileName());
    file.setPermissions(QFileDevice::Permissions());
    if (file.open(QIODevice::ReadOnly)) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        GTEST_SKIP() << "file permissions do not apply to this user";
    }
    EXPECT_FALSE(store->AddGroup(QStringLiteral("Admin")));
    EXPECT_FALSE(store->SetUserGroup(kAnn, QStringLiteral("Support")));
    EXPECT_FALSE(store->RenameGroup(QStringLiteral("Sales"), QStringLiteral("Field Sales")));
    EXPECT_FALSE(store->SaveUserPositions({kAnn}));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(Bytes(), kTeams);
}

} // namespace
