// Both sides of the update files over 127.0.0.1: this test plays the other node.
#include "support/CaseName.h"
#include "support/ServerFixture.h"
#include "update/UpdateCodecUnit.h"
#include "update/UpdateManifestUnit.h"
#include "update/UpdateOfferUnit.h"
#include "update/UpdateReceiveUnit.h"
#include "update/UpdateServiceUnit.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtEndian>

namespace {

QByteArray Block(const QByteArray& name, const QByteArray& data) {
    QByteArray out = name + "\r\n";
    QByteArray length(4, Qt::Uninitialized);
    qToBigEndian<qint32>(qint32(data.size()), length.data());
    return out + length + data;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The stream of one "QLM_TRANSUPDATEFILE" request, split into its files.
QList<std::pair<QByteArray, QByteArray>> ParseStream(const QByteArray& stream, bool* ended) {
    QList<std::pair<QByteArray, QByteArray>> files;
    QBuffer buffer;
    buffer.setData(stream);
    buffer.open(QIODevice::ReadOnly);
    TRequestReader reader(buffer, [](int) { return false; });
    QByteArray line;
    *ended = false;
    if (reader.ReadLine(&line) != TRequestReader::rrOk) return files;
    while (reader.ReadLine(&line) == TRequestReader::rrOk) {
        if (line == UpdateStreamEnd) {
            *ended = true;
            break;
        }
        QByteArray data;
        if (reader.ReadBlock(&data, 1 << 24, 0) != TRequestReader::rrOk) break;
        files.append({line, data});
    }
    return files;
}

// --- the stream reader alone ---

class UpdateStreamReader : public ::testing::Test {
protected:
    TUpdateExpectation Expect() const {
        TUpdateExpectation e;
        e.Folder = Home.Path() + QStringLiteral("UPDATE/");
        QDir().mkpath(e.Folder);
        e.Names = {QStringLiteral("quillmate"), QStringLiteral("Languages/Chinese.lng"), QStringLiteral("Update.ini")};
        e.LanguageId = 1033;
        e.Guard.FreeBytes = [](const QString&) { return qint64(1) << 40; };
        return e;
    }
    TUpdateReceiveResult Run(const QByteArray& stream, const TUpdateExpectation& e) {
        QBuffer buffer;
        buffer.setData(stream);
        buffer.open(QIODevice::ReadOnly);
        TRequestReader reader(buffer, [](int) { return false; });
        return ReceiveUpdateFiles(reader, e, 1000);
    }
    TTempHome Home;
};

TEST_F(UpdateStreamReader, StoresTheListedFilesUnderUpdateAndReplacesOldOnes) {
    const TUpdateExpectation e = Expect();
    WriteFile(e.Folder + QStringLiteral("Update.ini"), "old");
    const TUpdateReceiveResult r =
        Run(Block("quillmate", "new program") + Block("Languages\\Chinese.lng", "lng") + Block("Update.ini", "[x]") +
                "sendingfile_end\r\n",
            e);
    EXPECT_EQ(r.End, TUpdateStreamEnd::Complete);
    EXPECT_EQ(r.Stored, (QStringList{"quillmate", "Languages/Chinese.lng", "Update.ini"}));
    EXPECT_EQ(ReadFile(e.Folder + QStringLiteral("quillmate")), "new program");
    EXPECT_EQ(ReadFile(e.Folder + QStringLiteral("Languages/Chinese.lng")), "lng");
    EXPECT_EQ(ReadFile(e.Folder + QStringLiteral("Update.ini")), "[x]");
    EXPECT_EQ(r.Bytes, 17);
}

struct TStreamCase {
    const char* Name;
    QByteArray Stream;
    TUpdateStreamEnd End;
    QStringList Stored;
};
void PrintTo(const TStreamCase& c, std::ostream* os) { *os << c.Name; }

class UpdateStreamRefusals : public UpdateStreamReader, public ::testing::WithParamInterface<TStreamCase> {};

TEST_P(UpdateStreamRefusals, NothingOutsideTheAnswerIsWritten) {
    const TStreamCase& c = GetParam();
    TUpdateExpectation e = Expect();
    e.MaxBytes = 100;
    const TUpdateReceiveResult r = Run(c.Stream, e);
    EXPECT_EQ(r.End, c.End);
    EXPECT_EQ(r.Stored, c.Stored);
    // Nothing but the stored files (and their folders) in UPDATE, nothing beside it.
    EXPECT_FALSE(QFile::exists(Home.File(QStringLiteral("x"))));
    EXPECT_FALSE(QFile::exists(Home.File(QStringLiteral("Config.ini"))));
    EXPECT_FALSE(QFile::exists(e.Folder + QStringLiteral("quillmate.qlmpart")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateStreamRefusals,
    ::testing::Values(
        TStreamCase{"NotInTheAnswer", Block("quillmate", "a") + Block("Config.ini", "b") + "SENDINGFILE_END\r\n",
                    TUpdateStreamEnd::NotOffered, {"quillmate"}},
        TStreamCase{"Escape", Block("..\\x", "b"), TUpdateStreamEnd::NotOffered, {}},
        TStreamCase{"Absolute", Block("/x", "b"), TUpdateStreamEnd::NotOffered, {}},
        TStreamCase{"SecondCopy", Block("quillmate", "a") + Block("quillmate", "b"), TUpdateStreamEnd::NotOffered,
                    {"quillmate"}},
        TStreamCase{"BeyondTheStreamBound", Block("quillmate", QByteArray(60, 'a')) + Block("Update.ini", QByteArray(60, 'b')),
                    TUpdateStreamEnd::TooLarge, {"quillmate"}},
        TStreamCase{"BrokenInsideABlock", Block("quillmate", "abcdef").chopped(3), TUpdateStreamEnd::Broken, {}},
        TStreamCase{"NegativeLength", QByteArray("quillmate\r\n\xff\xff\xff\xff", 15), TUpdateStreamEnd::Broken, {}},
        TStreamCase{"NoEndLine", Block("quillmate", "a"), TUpdateStreamEnd::Broken, {"quillmate"}}),
    TCaseName());

TEST_F(UpdateStreamReader, StopsAtTheFreeSpaceFloor) {
    TUpdateExpectation e = Expect();
    e.Guard.Reserve = 1000;
    e.Guard.FreeBytes = [](const QString&) { return qint64(1010); };
    const TUpdateReceiveResult r = Run(Block("quillmate", "12345") + Block("Update.ini", QByteArray(50, 'x')), e);
    EXPECT_EQ(r.End, TUpdateStreamEnd::DiskFull);
    EXPECT_EQ(r.Stored, QStringList{"quillmate"});
    EXPECT_FALSE(QFile::exists(e.Folder + QStringLiteral("Update.ini")));
}

TEST_F(UpdateStreamReader, NeverWritesThroughALinkInUpdate) {
    const TUpdateExpectation e = Expect();
    QDir().mkpath(Home.File(QStringLiteral("outside")));
    ASSERT_TRUE(QFile::link(Home.File(QStringLiteral("outside")), e.Folder + QStringLiteral("Languages")));
    const TUpdateReceiveResult r = Run(Block("Languages/Chinese.lng", "lng"), e);
    EXPECT_EQ(r.End, TUpdateStreamEnd::NotOffered);
    EXPECT_FALSE(QFile::exists(Home.File(QStringLiteral("outside/Chinese.lng"))));
}

// --- the answering side's choice of files ---

TEST(UpdateOffer, OnlyOfferedFilesInsideTheProgramFolderGo) {
    TTempHome home;
    WriteFile(home.File(QStringLiteral("quillmate")), "p");
    WriteFile(home.File(QStringLiteral("Languages/Chinese.lng")), "l");
    WriteFile(home.File(QStringLiteral("Config.ini")), "secret");
    WriteFile(home.File(QStringLiteral("Update.ini")), "[x]");
    QTemporaryDir elsewhere;
    WriteFile(elsewhere.filePath(QStringLiteral("passwd")), "root");
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("passwd")), home.File(QStringLiteral("leak"))));
    ASSERT_TRUE(QFile::link(home.File(QStringLiteral("quillmate")), home.File(QStringLiteral("inner"))));
    const QStringList offered{"quillmate", "Languages\\Chinese.lng", "leak", "inner", "missing", "../x", "Update.ini"};
    const QList<QByteArray> wanted{"quillmate",  "Config.ini", "../x", "/etc/passwd", "leak", "inner",
                                   "Languages\\Chinese.lng", "missing", "quillmate", "Update.ini"};
    const TOfferSelection s = SelectOfferedFiles(wanted, offered, home.Path(), 1033);
    QStringList names;
    for (const TOfferedFile& f : s.Files) names << f.Name;
    EXPECT_EQ(names, (QStringList{"quillmate", "inner", "Languages/Chinese.lng", "Update.ini"}));
    EXPECT_EQ(s.Files[2].Line, "Languages\\Chinese.lng"); // sent back as it was asked for
    EXPECT_EQ(s.Refused, (QStringList{"Config.ini", "../x", "/etc/passwd", "leak", "missing", "quillmate"}));
}

// --- the service, both sides, over loopback ---

class UpdateService : public TServerFixture {
protected:
    UpdateService() {
        // The other node: its datagrams and streams come to PeerPort.
        Config.Port = PeerPort;
        Peer.bind(QHostAddress::LocalHost, PeerPort);
        PeerTcp.listen(QHostAddress::LocalHost, PeerPort);
        Service.RegisterEvents(Sink);
        Service.RegisterListener(Server->Dispatcher(), *Server, Client, Sink, QStringLiteral("{ME}"), QStringLiteral("MYPC"));
        Service.SetAnswerIdentity(QStringLiteral("Me"), QStringLiteral("MYPC"));
        TDiskGuard guard;
        guard.FreeBytes = [](const QString&) { return qint64(1) << 40; };
        Service.SetDiskGuard(guard);
        QObject::connect(&Service, &TUpdateService::AnswerArrived, [this](const TUpdateAnswer& a) { Answers << a; });
        QObject::connect(&Service, &TUpdateService::FileReceived, [this](const QString& n) { Received << n; });
        QObject::connect(&Service, &TUpdateService::FilesDone, [this](const TUpdateFilesDone& d) { Done << d; });
        QObject::connect(&Service, &TUpdateService::FilesPushed,
                         [this](const QString&, const QStringList& sent, const QStringList& refused, const QString&) {
                             Pushed << std::pair(sent, refused);
                         });
    }
    ~UpdateService() override { Server->StopListening(); }

    void SendToNode(const QByteArray& datagram) {
        Peer.writeDatagram(datagram, QHostAddress::LocalHost, Port);
    }
    QByteArray NextPeerDatagram(int timeoutMs = 3000) {
        WaitUntil([&] { return Peer.hasPendingDatagrams(); }, timeoutMs);
        if (!Peer.hasPendingDatagrams()) return {};
        QByteArray d(int(Peer.pendingDatagramSize()), Qt::Uninitialized);
        Peer.readDatagram(d.data(), d.size());
        return d;
    }
    // The whole stream the node pushes to the other node.
    QByteArray NextPush() {
        if (!WaitUntil([&] { return PeerTcp.hasPendingConnections(); }, 5000)) return {};
        std::unique_ptr<QTcpSocket> s(PeerTcp.nextPendingConnection());
        QByteArray all;
        WaitUntil([&] {
            all += s->readAll();
            return s->state() == QAbstractSocket::UnconnectedState || all.endsWith("SENDINGFILE_END\r\n");
        }, 5000);
        s->disconnectFromHost();
        return all;
    }
    // A stream to the node as a peer writes it, from source address from.
    bool Push(const QByteArray& bytes, const QString& from = QStringLiteral("127.0.0.1")) {
        QTcpSocket socket;
        socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, Port);
        if (!socket.waitForConnected(2000)) return false;
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        WaitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState || !socket.waitForDisconnected(10); }, 3000);
        return true;
    }

    quint16 PeerPort = FreePort();
    QUdpSocket Peer;
    QTcpServer PeerTcp;
    TCommLocal NewLocal{Settings, Home.Path(), QStringLiteral("2.0.0.0")};
    TUpdateService Service{Client, NewLocal, Lang};
    QList<TUpdateAnswer> Answers;
    QStringList Received;
    QList<TUpdateFilesDone> Done;
    QList<std::pair<QStringList, QStringList>> Pushed;
};

TEST_F(UpdateService, ANewerNodeAnswersAnOlderOneAndSendsOnlyWhatItOffered) {
    Home.Write(QStringLiteral("Update.ini"), "[2.0.0.0_1.0.0.0]\r\nA=quillmate\r\nB=Languages\\Chinese.lng\r\n");
    WriteFile(Home.File(QStringLiteral("quillmate")), "new program");
    WriteFile(Home.File(QStringLiteral("Languages/Chinese.lng")), "lng");
    Home.Write(QStringLiteral("Config.ini"), "[Quillmate Settings]\r\nQLMId={ME}\r\n");
    ASSERT_TRUE(Start());

    // Equal, newer and malformed askers get nothing; the older one its list.
    SendToNode(EncodeCheckNewVersion(QStringLiteral("PEER"), QStringLiteral("2.0.0.0"), QStringLiteral("{P}")));
    SendToNode(EncodeCheckNewVersion(QStringLiteral("PEER"), QStringLiteral("3.0.0.0"), QStringLiteral("{P}")));
    SendToNode(EncodeCheckNewVersion(QStringLiteral("PEER"), QStringLiteral("1.0.0.0"), QStringLiteral("{ME}")));
    SendToNode(EncodeCheckNewVersion(QStringLiteral("PEER"), QStringLiteral("1.0.0.0"), QStringLiteral("{P}")));
    const QByteArray reply = NextPeerDatagram();
    const auto envelope = TEnvelope::Parse(reply);
    ASSERT_TRUE(envelope) << reply.constData();
    EXPECT_TRUE(envelope->IsType(MessageType::ReplyCheckNewVersion));
    EXPECT_EQ(envelope->Field(3), "Me");
    EXPECT_EQ(envelope->Field(5), "2.0.0.0");
    EXPECT_EQ(envelope->Rest(11), "quillmate\r\nLanguages\\Chinese.lng\r\nUpdate.ini\r\n");
    EXPECT_TRUE(NextPeerDatagram(300).isEmpty()) << "only one asker is answered";

    SendToNode(EncodeUpdateFilesRequest(QStringLiteral("PEER"),
                                        "quillmate\r\nConfig.ini\r\n../x\r\n/etc/passwd\r\nLanguages\\Chinese.lng\r\nUpdate.ini\r\n"));
    bool ended = false;
    const auto files = ParseStream(NextPush(), &ended);
    EXPECT_TRUE(ended);
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0], std::pair(QByteArray("quillmate"), QByteArray("new program")));
    EXPECT_EQ(files[1].first, "Languages\\Chinese.lng");
    EXPECT_EQ(files[2].first, "Update.ini");
    ASSERT_TRUE(WaitUntil([&] { return !Pushed.isEmpty(); }));
    EXPECT_EQ(Pushed[0].second, (QStringList{"Config.ini", "../x", "/etc/passwd"}));
    EXPECT_EQ(Service.Counts().NamesRefused, 3u);
}

TEST_F(UpdateService, ANodeThatWasNeverAnsweredGetsNoFiles) {
    Home.Write(QStringLiteral("Update.ini"), "[2.0.0.0_1.0.0.0]\r\nA=quillmate\r\n");
    WriteFile(Home.File(QStringLiteral("quillmate")), "p");
    ASSERT_TRUE(Start());
    SendToNode(EncodeUpdateFilesRequest(QStringLiteral("PEER"), "quillmate\r\nUpdate.ini\r\n"));
    EXPECT_FALSE(WaitUntil([&] { return PeerTcp.hasPendingConnections(); }, 500));
    EXPECT_EQ(Service.Counts().RequestsRefused, 1u);
}

TEST_F(UpdateService, AStreamNobodyAskedForIsRefusedAndCounted) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Push(EncodeUpdateStreamHeader() + Block("quillmate", "evil") + "SENDINGFILE_END\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return Service.Counts().StreamsRefused == 1; }));
    EXPECT_FALSE(QFile::exists(Service.UpdateFolder() + QStringLiteral("quillmate")));
    EXPECT_TRUE(Done.isEmpty());
}

TEST_F(UpdateService, TheChosenNodesStreamIsStoredOnceOthersAreRefused) {
    TUpdateService& old = Service;
    ASSERT_TRUE(Start());
    WriteFile(old.UpdateFolder() + QStringLiteral("stale"), "old set");

    TUpdateAnswer answer;
    answer.IPAddress = QStringLiteral("127.0.0.1");
    answer.Version = QStringLiteral("2.0.0.0");
    answer.Files = QStringList{"quillmate", "Update.ini"};
    answer.RawFiles = "quillmate\r\nUpdate.ini\r\n";
    answer.LanguageId = 1033;
    ASSERT_TRUE(old.FetchFrom(answer, QStringLiteral("MYPC")));
    EXPECT_FALSE(QFile::exists(old.UpdateFolder() + QStringLiteral("stale")));
    const auto request = TEnvelope::Parse(NextPeerDatagram());
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->IsType(MessageType::UpdateFilesTransferRequest));
    EXPECT_EQ(request->Rest(8), "quillmate\r\nUpdate.ini\r\n");

    // Another address first: refused, and the expectation stays for the chosen node.
    ASSERT_TRUE(Push(EncodeUpdateStreamHeader() + Block("quillmate", "evil") + "SENDINGFILE_END\r\n",
                     QStringLiteral("127.0.0.2")));
    ASSERT_TRUE(WaitUntil([&] { return old.Counts().StreamsRefused == 1; }));
    ASSERT_TRUE(Push(EncodeUpdateStreamHeader() + Block("quillmate", "good") + Block("Update.ini", "[i]") +
                     "SENDINGFILE_END\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return !Done.isEmpty(); }));
    EXPECT_EQ(Done[0].Count, 2);
    EXPECT_EQ(Done[0].End, TUpdateStreamEnd::Complete);
    EXPECT_EQ(Received, (QStringList{"quillmate", "Update.ini"}));
    EXPECT_EQ(ReadFile(old.UpdateFolder() + QStringLiteral("quillmate")), "good");
    // Once only: a second stream from the same node is refused.
    ASSERT_TRUE(Push(EncodeUpdateStreamHeader() + Block("quillmate", "again") + "SENDINGFILE_END\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return old.Counts().StreamsRefused == 2; }));
    EXPECT_EQ(ReadFile(old.UpdateFolder() + QStringLiteral("quillmate")), "good");
}

TEST_F(UpdateService, AStreamAfterTheTimeLimitIsRefusedAndTheFetchEnds) {
    TUpdateLimits limits;
    limits.FetchWaitMs = 200;
    Service.SetLimits(limits);
    ASSERT_TRUE(Start());
    TUpdateAnswer answer;
    answer.IPAddress = QStringLiteral("127.0.0.1");
    answer.Files = QStringList{"quillmate"};
    answer.RawFiles = "quillmate\r\n";
    ASSERT_TRUE(Service.FetchFrom(answer, QStringLiteral("MYPC")));
    ASSERT_TRUE(WaitUntil([&] { return !Done.isEmpty(); }, 3000));
    EXPECT_EQ(Done[0].Count, 0);
    ASSERT_TRUE(Push(EncodeUpdateStreamHeader() + Block("quillmate", "late") + "SENDINGFILE_END\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return Service.Counts().StreamsRefused == 1; }));
    EXPECT_FALSE(QFile::exists(Service.UpdateFolder() + QStringLiteral("quillmate")));
}

TEST_F(UpdateService, AnswersAreTakenOnlyWhileCheckingAndOnlyFromNewerNodes) {
    ASSERT_TRUE(Start());
    TMessageLang lang(1033);
    const auto reply = [&](const char* version) {
        return EncodeReplyCheckNewVersion(QStringLiteral("N"), QStringLiteral("PC"), QString::fromLatin1(version),
                                          {QStringLiteral("quillmate"), QStringLiteral("Update.ini")}, lang);
    };
    SendToNode(reply("3.0.0.0"));
    WaitUntil([] { return false; }, 200);
    EXPECT_TRUE(Answers.isEmpty());
    ASSERT_TRUE(Service.StartCheck(QStringLiteral("MYPC"), QStringLiteral("{ME}")));
    EXPECT_TRUE(NextPeerDatagram().startsWith("QLM_CHECKNEWVERSION\t2\tMYPC\t2.0.0.0\t{ME}"));
    SendToNode(reply("2.0.0.0"));
    SendToNode(reply("3.0.0.0"));
    SendToNode(reply("4.0.0.0")); // the same node again: one row per node
    ASSERT_TRUE(WaitUntil([&] { return !Answers.isEmpty(); }));
    WaitUntil([] { return false; }, 200);
    ASSERT_EQ(Answers.size(), 1);
    EXPECT_EQ(Answers[0].Version, QStringLiteral("3.0.0.0"));
    EXPECT_EQ(Answers[0].Files, (QStringList{"quillmate", "Update.ini"}));
}

// --- signed sets ---

class UpdateSignature : public ::testing::Test {
protected:
    UpdateSignature() {
        EXPECT_TRUE(UpdateManifest::GenerateKeyPair(&Public, &Secret));
        WriteFile(Folder() + QStringLiteral("quillmate"), "program");
        WriteFile(Folder() + QStringLiteral("Update.ini"), "[2.0.0.0_1.0.0.0]\r\nA=quillmate\r\n");
    }
    QString Folder() const { return Home.Path() + QStringLiteral("UPDATE/"); }
    void SignWith(const QByteArray& secret, const QString& section = QStringLiteral("2.0.0.0_1.0.0.0")) {
        TManifest m;
        m.Section = section;
        m.Entries = *UpdateManifest::DescribeAll(Folder(), {QStringLiteral("quillmate"), QStringLiteral("Update.ini")}, nullptr);
        const auto key = UpdateManifest::ParseSecretKey(secret);
        ASSERT_TRUE(key);
        WriteFile(Folder() + QStringLiteral("Update.sig"),
                  UpdateManifest::FormatSignatureFile({{m, UpdateManifest::Sign(m, *key)}}));
    }
    TUpdateSetCheck Check(const QString& key) const {
        return CheckUpdateSet(Folder(), {"quillmate", "Update.sig", "Update.ini"}, QStringLiteral("2.0.0.0_1.0.0.0"), key);
    }
    TTempHome Home;
    QByteArray Public, Secret;
};

TEST_F(UpdateSignature, GoodBadMissingAndNoKey) {
    SignWith(Secret);
    TUpdateSetCheck good = Check(QString::fromLatin1(Public));
    EXPECT_EQ(good.Signature, TUpdateSignature::Good);
    ASSERT_EQ(good.Files.size(), 2);
    EXPECT_EQ(good.Files[0].Name, QStringLiteral("quillmate"));
    EXPECT_EQ(good.Files[0].Size, 7);
    EXPECT_EQ(good.Files[0].Sha256, QCryptographicHash::hash("program", QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(Check(QString()).Signature, TUpdateSignature::NotSigned);
    EXPECT_EQ(Check(QStringLiteral("not a key")).Signature, TUpdateSignature::BadKey);

    QByteArray otherPublic, otherSecret;
    ASSERT_TRUE(UpdateManifest::GenerateKeyPair(&otherPublic, &otherSecret));
    EXPECT_EQ(Check(QString::fromLatin1(otherPublic)).Signature, TUpdateSignature::Bad);
    SignWith(otherSecret);
    EXPECT_EQ(Check(QString::fromLatin1(Public)).Signature, TUpdateSignature::Bad);

    SignWith(Secret, QStringLiteral("2.0.0.0_0.9.0.0"));
    EXPECT_EQ(Check(QString::fromLatin1(Public)).Signature, TUpdateSignature::Missing);
    QFile::remove(Folder() + QStringLiteral("Update.sig"));
    EXPECT_EQ(Check(QString::fromLatin1(Public)).Signature, TUpdateSignature::Missing);
}

TEST_F(UpdateSignature, AFileChangedAfterSigningOrAddedIsRefused) {
    SignWith(Secret);
    WriteFile(Folder() + QStringLiteral("quillmate"), "progrAm");
    TUpdateSetCheck changed = Check(QString::fromLatin1(Public));
    EXPECT_EQ(changed.Signature, TUpdateSignature::Bad);
    EXPECT_EQ(changed.Problem, QStringLiteral("quillmate"));
    WriteFile(Folder() + QStringLiteral("quillmate"), "program");
    WriteFile(Folder() + QStringLiteral("extra"), "x");
    EXPECT_EQ(CheckUpdateSet(Folder(), {"quillmate", "extra", "Update.ini"}, QStringLiteral("2.0.0.0_1.0.0.0"),
                             QString::fromLatin1(Public))
                  .Signature,
              TUpdateSignature::Bad);
    // A signed file that did not come is as bad as a changed one.
    EXPECT_EQ(CheckUpdateSet(Folder(), {"quillmate"}, QStringLiteral("2.0.0.0_1.0.0.0"), QString::fromLatin1(Public)).Signature,
              TUpdateSignature::Bad);
}

} // namespace
