// Placing returning users: after a restart every peer's reply arrives with a
// stored group and position, and each is placed among the rows already in
// its group. Times N returning users against N first-time users (no stored
// position: nothing to compare) in the same run, and prints the ratio.
#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

TOnlineNotify Peer(int i) {
    TOnlineNotify n;
    n.NickName = QStringLiteral("user%1").arg(i);
    n.ComputerName = QStringLiteral("PC%1").arg(i);
    n.IPAddress = QStringLiteral("10.77.%1.%2").arg(i / 250).arg(i % 250 + 1);
    n.UserId = QStringLiteral("{ID-%1}").arg(i);
    n.Version = QStringLiteral("1.0.0.1");
    return n;
}

// Adds users 0..count-1 in a scrambled order; returns milliseconds.
double AddAll(TUserGroup& store, int count) {
    TOnlineUserModel model(store, TSelfIdentity{});
    model.LoadGroupNodes(true);
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < count; ++k) model.AddUserNode(false, Peer((k * 7919) % count));
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "off");
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 800;
    QTemporaryDir dir;
    qputenv("QUILLMATE_HOME", dir.path().toLocal8Bit());

    // First run: nobody is stored yet, each user is appended and its position stored.
    TUserGroup store(dir.filePath(QStringLiteral("UserGroup.ini")));
    const double firstMs = AddAll(store, count);
    // Second run over the same file: every user returns with a stored position.
    const double returningMs = AddAll(store, count);

    std::printf("users: %d\n", count);
    std::printf("first-time users (baseline): %.1f ms, %.3f ms per user\n", firstMs, firstMs / count);
    std::printf("returning users:             %.1f ms, %.3f ms per user\n", returningMs, returningMs / count);
    std::printf("ratio returning/first-time: %.2f\n", returningMs / firstMs);
    return 0;
}
