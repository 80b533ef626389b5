#include "cli/CliUpdateUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "node/NodeUnit.h"
#include "platform/ProfileFileUnit.h"
#include "platform/SignalsUnit.h"
#include "update/UpdateManifestUnit.h"
#include "update/UpdateNamesUnit.h"
#include "update/UpdateServiceUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

const char* const kUpdateUsage =
    "  update check [--wait SECONDS] [--json]\n"
    "                            ask the LAN for newer versions (default 3 s); 1 when none answered\n"
    "  update fetch --from HOST [--wait SECONDS] [--json]\n"
    "                            fetch HOST's update files into UPDATE and check them; 0 done, 1 failed\n"
    "  update sign --key FILE    sign every section of Update.ini (writes Update.sig)\n"
    "  update keygen --out FILE  make a signing key (FILE, kept secret); prints the public key\n";

namespace {

constexpr int kOk = 0, kFailed = 1, kUsage = 2;

void Print(QTextStream& out, bool json, const QJsonObject& object, const QString& plain) {
    out << (json ? QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) : plain) << "\n";
    out.flush();
}

QJsonObject AnswerJson(const TUpdateAnswer& a) {
    return {{QStringLiteral("event"), QStringLiteral("update-answer")}, {QStringLiteral("NickName"), a.NickName},
            {QStringLiteral("ComputerName"), a.ComputerName},           {QStringLiteral("IPAddress"), a.IPAddress},
            {QStringLiteral("Version"), a.Version},                     {QStringLiteral("Files"), QJsonArray::fromStringList(a.Files)}};
}

QString AnswerPlain(const TUpdateAnswer& a) {
    return QStringLiteral("answer %1 %2 %3 %4 files=%5").arg(a.NickName, a.ComputerName, a.IPAddress, a.Version,
                                                              a.Files.join(QLatin1Char('|')));
}

QString SignatureName(TUpdateSignature s) {
    switch (s) {
    case TUpdateSignature::NotSigned: return QStringLiteral("not-signed");
    case TUpdateSignature::Good: return QStringLiteral("good");
    case TUpdateSignature::Missing: return QStringLiteral("missing");
    case TUpdateSignature::Bad: return QStringLiteral("bad");
    case TUpdateSignature::BadKey: return QStringLiteral("bad-key");
    }
    return {};
}

QString EndName(TUpdateStreamEnd e) {
    switch (e) {
    case TUpdateStreamEnd::Complete: return QStringLiteral("complete");
    case TUpdateStreamEnd::Broken: return QStringLiteral("broken");
    case TUpdateStreamEnd::NotOffered: return QStringLiteral("not-offered");
    case TUpdateStreamEnd::TooLarge: return QStringLiteral("too-large");
    case TUpdateStreamEnd::DiskFull: return QStringLiteral("disk-full");
    }
    return {};
}

// --wait, --json, --from, --key, --out taken out of args.
struct TUpdateArgs {
    double WaitSeconds = -1;
    bool Json = false;
    QString From, Key, Out;
};
QString TakeArgs(QStringList& args, TUpdateArgs* a) {
    for (qsizetype i = 0; i < args.size();) {
        const QString arg = args[i];
        if (arg == QLatin1String("--json")) {
            a->Json = true;
            args.remove(i);
            continue;
        }
        QString* text = arg == QLatin1String("--from") ? &a->From
                        : arg == QLatin1String("--key") ? &a->Key
                        : arg == QLatin1String("--out") ? &a->Out : nullptr;
        if (text || arg == QLatin1String("--wait")) {
            if (i + 1 >= args.size()) return QStringLiteral("%1 needs a value").arg(arg);
            if (text) *text = args[i + 1];
            else {
                bool ok = false;
                a->WaitSeconds = args[i + 1].toDouble(&ok);
                if (!ok || a->WaitSeconds < 0) return QStringLiteral("--wait needs a number of seconds");
            }
            args.remove(i, 2);
            continue;
        }
        return QStringLiteral("unknown option: %1").arg(arg);
    }
    return {};
}

// Runs a node until done; NetworkReady starts the check. Returns the exit status.
int RunCheckingNode(TNode& node, QTextStream& err, int& status) {
    QObject::connect(&node, &TNode::ListenFailed, [&](const QString& text) {
        err << "quillmate-cli: " << QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) << "\n";
        status = kFailed;
        QCoreApplication::quit();
    });
    QObject::connect(&node, &TNode::NetworkReady, [&node, &err, &status] {
        const TApplicationParams& p = Params();
        if (!node.Update().StartCheck(Utils::LocalComputerName(), p[spQLMId])) {
            err << "quillmate-cli: the check could not be sent\n";
            status = kFailed;
            QCoreApplication::quit();
        }
    });
    constexpr int kConfirmLimitMs = 30 * 1000;
    QTimer::singleShot(kConfirmLimitMs, &node, [&] {
        if (node.NetworkConfirmed()) return;
        err << "quillmate-cli: the network was not confirmed (our own self-check never came back)\n";
        status = kFailed;
        QCoreApplication::quit();
    });
    TQuitSignals quit([] { QCoreApplication::quit(); });
    node.Start();
    QCoreApplication::exec();
    node.Stop();
    return status;
}

int Check(const TUpdateArgs& a, QTextStream& out, QTextStream& err) {
    TNode node;
    int status = kOk;
    int answers = 0;
    QObject::connect(&node.Update(), &TUpdateService::AnswerArrived, [&](const TUpdateAnswer& answer) {
        ++answers;
        Print(out, a.Json, AnswerJson(answer), AnswerPlain(answer));
    });
    QObject::connect(&node, &TNode::NetworkReady, [&a] {
        QTimer::singleShot(int((a.WaitSeconds < 0 ? 3 : a.WaitSeconds) * 1000), [] { QCoreApplication::quit(); });
    });
    RunCheckingNode(node, err, status);
    if (status == kOk && answers == 0) {
        err << "quillmate-cli: no newer version answered\n";
        status = kFailed;
    }
    return status;
}

int Fetch(const TUpdateArgs& a, QTextStream& out, QTextStream& err) {
    TNode node;
    TUpdateService& service = node.Update();
    int status = kOk;
    std::optional<TUpdateAnswer> chosen;
    QObject::connect(&service, &TUpdateService::AnswerArrived, [&](const TUpdateAnswer& answer) {
        Print(out, a.Json, AnswerJson(answer), AnswerPlain(answer));
        if (chosen || (answer.IPAddress != a.From && answer.ComputerName.compare(a.From, Qt::CaseInsensitive) != 0))
            return;
        chosen = answer;
        service.EndCheck();
        if (!service.FetchFrom(answer, Utils::LocalComputerName())) {
            err << "quillmate-cli: could not prepare " << service.UpdateFolder() << " or send the request\n";
            status = kFailed;
            QCoreApplication::quit();
        }
    });
    QObject::connect(&service, &TUpdateService::FileReceived, [&](const QString& name) {
        Print(out, a.Json, {{QStringLiteral("event"), QStringLiteral("update-file")}, {QStringLiteral("Name"), name}},
              QStringLiteral("file ") + name);
    });
    QObject::connect(&service, &TUpdateService::FilesDone, [&](const TUpdateFilesDone& done) {
        const QString section = chosen->Version + QLatin1Char('_') + service.Version();
        const TUpdateSetCheck check = CheckUpdateSet(service.UpdateFolder(), done.Stored, section, Params()[spUpdatePublicKey]);
        QJsonArray files;
        QStringList plain;
        for (const TManifestEntry& e : check.Files) {
            files.append(QJsonObject{{QStringLiteral("Name"), e.Name}, {QStringLiteral("Size"), e.Size},
                                     {QStringLiteral("SHA256"), QString::fromLatin1(e.Sha256)}});
            plain << QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(e.Sha256)).arg(e.Size).arg(e.Name);
        }
        const bool ok = done.End == TUpdateStreamEnd::Complete && done.Count > 0 && check.Installable();
        Print(out, a.Json,
              {{QStringLiteral("event"), QStringLiteral("update-done")}, {QStringLiteral("Count"), done.Count},
               {QStringLiteral("End"), EndName(done.End)}, {QStringLiteral("Signature"), SignatureName(check.Signature)},
               {QStringLiteral("Problem"), check.Problem}, {QStringLiteral("Folder"), service.UpdateFolder()},
               {QStringLiteral("Files"), files}, {QStringLiteral("Ok"), ok}},
              QStringLiteral("done count=%1 end=%2 signature=%3 folder=%4\n%5")
                  .arg(done.Count)
                  .arg(EndName(done.End), SignatureName(check.Signature), service.UpdateFolder(), plain.join(QLatin1Char('\n'))));
        if (!ok) status = kFailed;
        QCoreApplication::quit();
    });
    QObject::connect(&node, &TNode::NetworkReady, [&] {
        QTimer::singleShot(int((a.WaitSeconds < 0 ? 10 : a.WaitSeconds) * 1000), [&] {
            if (chosen) return;
            err << "quillmate-cli: " << a.From << " did not answer with a newer version\n";
            status = kFailed;
            QCoreApplication::quit();
        });
    });
    return RunCheckingNode(node, err, status);
}

int Sign(const TUpdateArgs& a, QTextStream& out, QTextStream& err) {
    QFile keyFile(a.Key);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        err << "quillmate-cli: cannot read the key " << a.Key << "\n";
        return kFailed;
    }
    const std::optional<QByteArray> key = UpdateManifest::ParseSecretKey(keyFile.read(4096));
    if (!key) {
        err << "quillmate-cli: " << a.Key << " holds no signing key (make one with update keygen)\n";
        return kFailed;
    }
    const QString folder = Utils::ProgramFolder();
    TProfileFile ini;
    if (!ini.Load(folder + QStringLiteral("Update.ini"))) {
        err << "quillmate-cli: no Update.ini in " << folder << "\n";
        return kFailed;
    }
    QList<UpdateManifest::TSignedManifest> blocks;
    for (const QString& section : ini.ReadSections()) {
        QStringList names;
        for (const auto& [k, value] : ini.ReadSectionPairs(section)) {
            QString normal;
            if (value.isEmpty()) continue;
            if (!UpdateNames::Normalise(value, &normal)) {
                err << "quillmate-cli: [" << section << "] " << value << " is no file inside the program folder\n";
                return kFailed;
            }
            names << normal;
        }
        if (names.isEmpty()) continue;
        names << QStringLiteral("Update.ini");
        QString missing;
        const auto entries = UpdateManifest::DescribeAll(folder, names, &missing);
        if (!entries) {
            err << "quillmate-cli: [" << section << "] " << missing << " cannot be read\n";
            return kFailed;
        }
        TManifest manifest{section, *entries};
        blocks.append({manifest, UpdateManifest::Sign(manifest, *key)});
        out << "signed [" << section << "] " << entries->size() << " files\n";
    }
    QFile sig(folder + QString::fromLatin1(UpdateSignatureFile));
    if (blocks.isEmpty() || !sig.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        sig.write(UpdateManifest::FormatSignatureFile(blocks)) < 0) {
        err << "quillmate-cli: " << (blocks.isEmpty() ? QStringLiteral("Update.ini offers no files")
                                                      : QStringLiteral("cannot write ") + sig.fileName())
            << "\n";
        return kFailed;
    }
    out << sig.fileName() << "\n";
    return kOk;
}

int Keygen(const TUpdateArgs& a, QTextStream& out, QTextStream& err) {
    QByteArray pub, secret;
    QFile file(a.Out);
    if (!UpdateManifest::GenerateKeyPair(&pub, &secret) || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(secret + "\n") < 0) {
        err << "quillmate-cli: cannot write a new key to " << a.Out << " (it must not exist yet)\n";
        return kFailed;
    }
    out << pub << "\n";
    return kOk;
}

} // namespace

int RunUpdate(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    TUpdateArgs a;
    const QString problem = TakeArgs(args, &a);
    const auto usage = [&](const QString& text) {
        err << "quillmate-cli: " << text << "\n";
        err.flush();
        return kUsage;
    };
    if (!problem.isEmpty()) return usage(problem);
    if (verb == QLatin1String("check")) return Check(a, out, err);
    if (verb == QLatin1String("fetch")) return a.From.isEmpty() ? usage(QStringLiteral("update fetch needs --from HOST")) : Fetch(a, out, err);
    if (verb == QLatin1String("sign")) return a.Key.isEmpty() ? usage(QStringLiteral("update sign needs --key FILE")) : Sign(a, out, err);
    if (verb == QLatin1String("keygen")) return a.Out.isEmpty() ? usage(QStringLiteral("update keygen needs --out FILE")) : Keygen(a, out, err);
    return usage(QStringLiteral("update needs check, fetch, sign or keygen"));
}

void AttachUpdateListen(TNode& node, const std::function<void(const QJsonObject&, const QString&)>& print) {
    TUpdateService& service = node.Update();
    QObject::connect(&service, &TUpdateService::QuestionAnswered, [print](const QString& asker, const QString& version, int files) {
        print({{QStringLiteral("event"), QStringLiteral("update-answered")}, {QStringLiteral("source"), asker},
               {QStringLiteral("version"), version}, {QStringLiteral("files"), files}},
              QStringLiteral("update-answered %1 %2 files=%3").arg(asker, version).arg(files));
    });
    QObject::connect(&service, &TUpdateService::FilesPushed,
                     [print](const QString& to, const QStringList& sent, const QStringList& refused, const QString& error) {
                         print({{QStringLiteral("event"), QStringLiteral("update-pushed")}, {QStringLiteral("to"), to},
                                {QStringLiteral("sent"), QJsonArray::fromStringList(sent)},
                                {QStringLiteral("refused"), QJsonArray::fromStringList(refused)},
                                {QStringLiteral("error"), error}},
                               QStringLiteral("update-pushed %1 sent=%2 refused=%3%4")
                                   .arg(to, sent.join(QLatin1Char('|')), refused.join(QLatin1Char('|')),
                                        error.isEmpty() ? QString() : QStringLiteral(" error=") + error));
                     });
    QObject::connect(&service, &TUpdateService::StreamRefused, [print, &service](const QString& source) {
        const qint64 count = qint64(service.Counts().StreamsRefused);
        print({{QStringLiteral("event"), QStringLiteral("update-stream-refused")}, {QStringLiteral("source"), source},
               {QStringLiteral("count"), count}},
              QStringLiteral("update-stream-refused %1 count=%2").arg(source).arg(count));
    });
}
