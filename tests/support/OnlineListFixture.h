#pragma once
// The online list of the widget tests: Favorite Contacts holds f1, "Sales"
// holds s1 and s2, and a third group (named by the test) stays empty. The
// display options the tests change are put back afterwards.

#include "core/ParamsUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "presence/UserGroupUnit.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

class TOnlineListFixture : public ::testing::Test {
protected:
    explicit TOnlineListFixture(const QString& emptyGroup) {
        Groups.AddGroup(QStringLiteral("Sales"));
        Groups.SetGroupPosition(1, QStringLiteral("Sales"));
        Groups.AddGroup(emptyGroup);
        Groups.SetGroupPosition(2, emptyGroup);
        for (const char* nick : {"s1", "s2"}) Groups.SetUserGroup(NamedPeerKey(QString::fromLatin1(nick)), QStringLiteral("Sales"));
        View.setModel(&Model);
        Model.LoadGroupNodes(true);
        for (const char* nick : {"f1", "s1", "s2"}) Model.AddUserNode(false, NamedPeer(QString::fromLatin1(nick)));
    }
    ~TOnlineListFixture() override {
        Params()[bpOnlineListShowCompuerName] = SavedShowComputer;
        Params()[bpOnlineListShowIPAddress] = SavedShowAddress;
    }

    QModelIndex User(const char* nick) const { return UserByNick(Model, nick); }
    QModelIndex Group(const char* name) const { return Model.FindGroup(QString::fromLatin1(name)); }

    bool SavedShowComputer = Params()[bpOnlineListShowCompuerName];
    bool SavedShowAddress = Params()[bpOnlineListShowIPAddress];
    TTempHome Home;
    TUserGroup Groups{Home.File(QStringLiteral("UserGroup.ini"))};
    TOnlineUserModel Model{Groups, TSelfIdentity{}};
    TOnlineUserView View{Params()};
};
