#include "cli/CliConsoleUnit.h"
#include "cli/CliExitUnit.h"

#include "console/ConsoleServiceUnit.h"
#include "platform/IdentityUnit.h"
#include "text/MsgLangUnit.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>

const char* const kConsoleUsage =
    "  console --to NAME[,NAME...] [--from NAME] [--wins ADDRESS] [--json] TEXT\n"
    "                            send a console message (SMB messenger) to each name\n";

namespace {

using namespace CliExit;

struct TConsoleArgs {
    QStringList Names;
    QString From;
    QString Wins;
    QString Text;
    bool HasText = false;
    bool Json = false;
};

QString Parse(QStringList args, TConsoleArgs* a) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--json")) {
            a->Json = true;
        } else if (arg == QLatin1String("--to") || arg == QLatin1String("--from") || arg == QLatin1String("--wins")) {
            if (i + 1 >= args.size()) return QStringLiteral("%1 needs a value").arg(arg);
            const QString value = args[++i];
            if (arg == QLatin1String("--to")) {
                for (const QString& name : value.split(QLatin1Char(',')))
                    if (!name.trimmed().isEmpty()) a->Names << name.trimmed();
            } else if (arg == QLatin1String("--from")) {
                a->From = value;
            } else {
                a->Wins = value;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option: %1").arg(arg);
        } else {
            if (a->HasText) return QStringLiteral("console takes one TEXT (quote it)");
            a->Text = arg;
            a->HasText = true;
        }
    }
    if (a->Names.isEmpty()) return QStringLiteral("console needs --to NAME[,NAME...]");
    if (!a->HasText || a->Text.isEmpty()) return QStringLiteral("console needs a TEXT");
    if (a->Text.size() > kConsoleMaxText)
        return QStringLiteral("the text has %1 characters, at most %2 go").arg(a->Text.size()).arg(kConsoleMaxText);
    if (a->From.size() > kConsoleMaxSender)
        return QStringLiteral("--from has %1 characters, at most %2 go").arg(a->From.size()).arg(kConsoleMaxSender);
    if (!a->Wins.isEmpty() && QHostAddress(a->Wins).protocol() != QAbstractSocket::IPv4Protocol)
        return QStringLiteral("--wins needs an IPv4 address: %1").arg(a->Wins);
    return {};
}

} // namespace

int RunConsole(QStringList arguments, QTextStream& out, QTextStream& err) {
    TConsoleArgs a;
    if (const QString problem = Parse(arguments, &a); !problem.isEmpty()) return Usage(err, problem);

    TConsoleService service(TMessageLang::Instance().LanguageId(), Platform::ComputerName());
    TConsoleNetwork network = service.Network();
    if (!a.Wins.isEmpty()) network.Wins = QHostAddress(a.Wins);
    service.SetNetwork(network);

    bool allSent = true;
    QEventLoop loop;
    TConsoleJob* job = service.StartSend({a.Names, a.From, a.Text});
    QObject::connect(job, &TConsoleJob::RecipientDone, &loop, [&](int, const TConsoleRecipientResult& r) {
        const bool sent = r.Outcome.Sent();
        allSent = allSent && sent;
        if (a.Json) {
            QJsonObject o{{QStringLiteral("name"), r.Recipient},
                          {QStringLiteral("sent"), sent},
                          {QStringLiteral("code"), ConsoleWire::ResultCode(r.Outcome.Result)},
                          {QStringLiteral("error"), r.ErrorText},
                          {QStringLiteral("reason"), r.Outcome.Reason},
                          {QStringLiteral("address"), r.Outcome.Address.isNull() ? QString() : r.Outcome.Address.toString()}};
            out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
        } else {
            out << r.Recipient << "\t" << (sent ? QStringLiteral("OK") : r.ErrorText) << "\n";
        }
        out.flush();
    });
    QObject::connect(job, &TConsoleJob::JobFinished, &loop, &QEventLoop::quit);
    loop.exec();
    return allSent ? kExitOk : kExitFailed;
}
