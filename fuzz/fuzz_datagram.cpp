// Feeds arbitrary datagrams to the dispatcher. Events go nowhere (no target)
// and automatic replies go to 127.0.0.1 on an unused port.
#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/DatagramDispatchUnit.h"
#include "text/MsgLangUnit.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {
struct TWorld {
    // First member: the policy holds before anything can send.
    bool LoopbackOnly = (qputenv("QUILLMATE_NETWORK", "loopback"), true);
    TWorld() {
        qputenv("QUILLMATE_HOME", Home.path().toLocal8Bit());
        Local.SetLocalInterfaces({QStringLiteral("10.77.0.1=255.255.255.0")});
    }
    int Argc = 1;
    char Arg0[8] = "fuzz";
    char* Argv[2] = {Arg0, nullptr};
    QCoreApplication App{Argc, Argv};
    QTemporaryDir Home;
    TApplicationParams Params{Home.filePath(QStringLiteral("Config.ini")), Home.path(),
                              TUserStore(Home.filePath(QStringLiteral("u.ini")), Home.filePath(QStringLiteral("a.desktop")))};
    TCommLocal Local{Params, Home.path() + QLatin1Char('/'), QStringLiteral("1.0.0.1")};
    TMessageLang Lang{1033};
    TCommClient Client{[] {
                           TTransportConfig c;
                           c.Port = 9; // discard; loopback only
                           c.UseMulticast = false;
                           c.BroadcastList = {QStringLiteral("127.0.0.1")};
                           c.LocalBroadcast = QStringLiteral("127.0.0.1");
                           return c;
                       },
                       [] { return TLocalIdentity(); }, Lang};
    // Never run: what the dispatcher posts piles up to the router's bound and
    // is dropped beyond it, so memory stays flat however long the fuzzer runs.
    TEventRouter Router;
    TDatagramDispatcher Dispatcher{Router, {QStringLiteral("{OWN}"), QStringLiteral("host")}, Local, Lang, Client};
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    world.Dispatcher.Dispatch(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QStringLiteral("127.0.0.1"));
    return 0;
}
