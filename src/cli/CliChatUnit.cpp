#include "cli/CliChatUnit.h"
#include "cli/CliExitUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/ChatContentUnit.h"
#include "node/NodeUnit.h"
#include "platform/SignalsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "protocol/CommConstsUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

using namespace CliExit;

int Failed(QTextStream& err, const QString& problem) {
    err << "quillmate-cli: " << problem << "\n";
    err.flush();
    return kExitFailed;
}

void PrintJson(QTextStream& out, const QJsonObject& object) {
    out << QJsonDocument(object).toJson(QJsonDocument::Compact) << "\n";
    out.flush();
}

// One line of text for a plain output line.
QString OneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\r'), QStringLiteral("\\n"));
}

bool ReadFile(const QString& path, QByteArray* bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    *bytes = file.readAll();
    return true;
}

// --nickname NAME: this run's nickname, not saved.
QString TakeNickname(QStringList& args, qsizetype i) {
    if (i + 1 >= args.size()) return QStringLiteral("--nickname needs a name");
    Params()[spNickname] = TApplicationParams::CleanNickname(args[i + 1]);
    args.remove(i, 2);
    return {};
}

struct TSendArgs {
    QStringList Hosts;
    QString Text;
    bool HasText = false;
    QString RtfFile;
    QStringList Images;
    bool Json = false;
};

QString ParseSend(QStringList args, TSendArgs* a) {
    for (qsizetype i = 0; i < args.size();) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--json")) {
            a->Json = true;
            args.remove(i);
        } else if (arg == QLatin1String("--nickname")) {
            if (const QString error = TakeNickname(args, i); !error.isEmpty()) return error;
        } else if (arg == QLatin1String("--to") || arg == QLatin1String("--rtf") || arg == QLatin1String("--image")) {
            if (!hasValue) return QStringLiteral("%1 needs a value").arg(arg);
            const QString value = args[i + 1];
            if (arg == QLatin1String("--to")) {
                for (const QString& host : value.split(QLatin1Char(',')))
                    if (!host.trimmed().isEmpty()) a->Hosts << host.trimmed();
            } else if (arg == QLatin1String("--rtf")) {
                if (!a->RtfFile.isEmpty()) return QStringLiteral("--rtf given twice");
                a->RtfFile = value;
            } else {
                a->Images << value;
            }
            args.remove(i, 2);
        } else if (arg.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option: %1").arg(arg);
        } else {
            if (a->HasText) return QStringLiteral("send takes one TEXT (quote it)");
            a->Text = arg;
            a->HasText = true;
            args.remove(i);
        }
    }
    if (a->Hosts.isEmpty()) return QStringLiteral("send needs --to HOST[,HOST...]");
    if (a->HasText == !a->RtfFile.isEmpty()) return QStringLiteral("send needs either TEXT or --rtf FILE");
    return {};
}

// The body and its plain text from the arguments; an error text when a file is unusable.
QString BuildBody(const TSendArgs& a, QByteArray* body, QString* plain) {
    QList<TRichPicture> pictures;
    for (const QString& path : a.Images) {
        TRichPicture picture;
        if (!ReadFile(path, &picture.Bytes)) return QStringLiteral("cannot read %1").arg(path);
        picture.Format = SniffPictureFormat(picture.Bytes);
        if (picture.Format == TPictureFormat::Unknown) return QStringLiteral("not a GIF, PNG, JPEG or BMP picture: %1").arg(path);
        pictures << picture;
    }
    const int languageId = TMessageLang::Instance().LanguageId();
    if (a.HasText) {
        *body = RichBodyFromText(a.Text, pictures, languageId);
        *plain = a.Text;
        return {};
    }
    QByteArray rtf;
    if (!ReadFile(a.RtfFile, &rtf)) return QStringLiteral("cannot read %1").arg(a.RtfFile);
    std::optional<TRichDocument> document = ReadRtf(rtf);
    if (!document) return QStringLiteral("not an RTF file: %1").arg(a.RtfFile);
    *plain = document->PlainText();
    if (pictures.isEmpty()) {
        *body = rtf; // sent exactly as it is
        return {};
    }
    for (const TRichPicture& picture : pictures) {
        document->NewParagraph();
        document->AppendPicture(picture);
    }
    TRtfWriteOptions options;
    options.CodePage = RtfCodePageOfLanguage(languageId);
    *body = WriteRtf(*document, options);
    return {};
}

int RunSend(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    TSendArgs a;
    if (const QString error = ParseSend(arguments, &a); !error.isEmpty()) return Usage(err, error);
    TSendMessageJob job;
    QString plain;
    if (const QString error = BuildBody(a, &job.Body, &plain); !error.isEmpty()) return Usage(err, error);
    job.Summary = MakeFirst2Line(plain);
    job.HasNickname = false; // hosts, not users of the online list
    for (const QString& host : a.Hosts) {
        TRecipient r;
        r.ComputerName = host;
        if (ParseDottedQuadPrefix(host)) r.IPAddress = host;
        job.Recipients << r;
    }

    TNode node;
    int status = kExitFailed;
    // One line per recipient as it ends (recipients are tried several at
    // once, so in the order they end); with --json a last line sums up.
    const auto recipientJson = [&a](int i, const TRecipient& r, const TRecipientOutcome& o) {
        return QJsonObject{{QStringLiteral("Index"), i},
                           {QStringLiteral("Host"), a.Hosts.value(i)},
                           {QStringLiteral("NickName"), r.NickName},
                           {QStringLiteral("ComputerName"), r.ComputerName},
                           {QStringLiteral("IPAddress"), r.IPAddress},
                           {QStringLiteral("SendStatus"), r.SendStatus},
                           {QStringLiteral("UserId"), r.UserId},
                           {QStringLiteral("Error"), o.ErrorText},
                           {QStringLiteral("Reason"), o.Reason}};
    };
    int done = 0;
    QObject::connect(&node.Chat(), &TChatService::RecipientDone,
                     [&](quint64, int i, const TRecipient& r, const TRecipientOutcome& o) {
                         ++done;
                         if (a.Json) {
                             QJsonObject line = recipientJson(i, r, o);
                             line.insert(QStringLiteral("event"), QStringLiteral("recipient"));
                             line.insert(QStringLiteral("Done"), done);
                             line.insert(QStringLiteral("Total"), qint64(a.Hosts.size()));
                             PrintJson(out, line);
                             return;
                         }
                         out << a.Hosts.value(i) << "\t"
                             << (o.Reached ? QStringLiteral("OK") : QStringLiteral("%1 (%2)").arg(o.ErrorText, o.Reason))
                             << "\n";
                         out.flush();
                     });
    QObject::connect(&node.Chat(), &TChatService::SendFinished, [&](quint64, const TSendMessageResult& result) {
        int reached = 0;
        QJsonArray results;
        for (qsizetype i = 0; i < result.Outcomes.size(); ++i) {
            results.append(recipientJson(int(i), result.Job.Recipients[i], result.Outcomes[i]));
            if (result.Outcomes[i].Reached) ++reached;
        }
        if (a.Json)
            PrintJson(out, {{QStringLiteral("event"), QStringLiteral("send")},
                            {QStringLiteral("reached"), result.AnyReached()},
                            {QStringLiteral("Sent"), reached},
                            {QStringLiteral("Total"), qint64(result.Outcomes.size())},
                            {QStringLiteral("results"), results}});
        out.flush();
        status = result.AnyReached() ? kExitOk : kExitFailed;
        QCoreApplication::quit();
    });
    TQuitSignals quit([] { QCoreApplication::quit(); });
    node.Chat().StartSendMessage(std::move(job));
    QCoreApplication::exec();
    return status;
}

int RunBroadcast(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    bool json = false;
    QString text;
    bool hasText = false;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--json")) {
            json = true;
            args.remove(i);
        } else if (args[i] == QLatin1String("--nickname")) {
            if (const QString error = TakeNickname(args, i); !error.isEmpty()) return Usage(err, error);
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return Usage(err, QStringLiteral("unknown option: %1").arg(args[i]));
        } else {
            if (hasText) return Usage(err, QStringLiteral("broadcast takes one TEXT (quote it)"));
            text = args.takeAt(i);
            hasText = true;
        }
    }
    if (!hasText) return Usage(err, QStringLiteral("broadcast needs TEXT"));

    TNode node;
    int status = kExitFailed;
    QObject::connect(&node.Chat(), &TChatService::BroadcastFinished, [&](quint64, const TBroadcastResult& result) {
        if (json)
            PrintJson(out, {{QStringLiteral("event"), QStringLiteral("broadcast")},
                            {QStringLiteral("Sent"), result.Sent},
                            {QStringLiteral("TooLong"), result.TooLong},
                            {QStringLiteral("Error"), result.ErrorText}});
        if (result.Sent) {
            if (!json) out << "OK\n";
            status = kExitOk;
        } else {
            Failed(err, result.TooLong ? QStringLiteral("%1 (a broadcast datagram holds at most %2 bytes)")
                                             .arg(result.ErrorText)
                                             .arg(MaxDatagramSize)
                                       : result.ErrorText);
        }
        out.flush();
        QCoreApplication::quit();
    });
    TQuitSignals quit([] { QCoreApplication::quit(); });
    node.Chat().StartBroadcast(MakeFirst2Line(text), text);
    QCoreApplication::exec();
    return status;
}

QString Sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString Printed(const QString& text, bool full) {
    return full ? text : text.left(TChatListenOptions::PrintedBodyChars);
}

// Every field of the record by its name, the decoded text and the pictures;
// unless full, Body and Text are cut (BodyBytes and Truncated say so) and
// Pictures lists those of the part parsed.
QJsonObject ChatJson(int id, qintptr wParam, const TBroadcastData& r, TChatKind kind, bool full) {
    const TMessageLang& lang = TMessageLang::Instance();
    const qsizetype limit = full ? r.Body.size() : TChatListenOptions::PrintedBodyChars;
    // Only what can be printed is parsed: markup takes a few bytes per character
    // shown, so four times the cut covers it without parsing a huge body whole.
    TBroadcastData head = r;
    if (!full && r.Body.size() > 4 * limit) head.Body = r.Body.left(4 * limit);
    const TChatContent content = ChatContent(head, kind, lang);
    QJsonArray pictures;
    for (const TRichPicture& p : content.Pictures)
        pictures.append(QJsonObject{{QStringLiteral("Format"), QString::fromLatin1(PictureFormatName(p.Format))},
                                    {QStringLiteral("Bytes"), qint64(p.Bytes.size())},
                                    {QStringLiteral("SHA256"), Sha256(p.Bytes)}});
    return {{QStringLiteral("event"), CommEventName(id)},
            {QStringLiteral("id"), QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'))},
            {QStringLiteral("wparam"), qint64(wParam)},
            {QStringLiteral("RequestHandle"), r.RequestHandle},
            {QStringLiteral("Accepted"), r.Accepted},
            {QStringLiteral("NickName"), r.NickName},
            {QStringLiteral("ComputerName"), r.ComputerName},
            {QStringLiteral("IPAddress"), r.IPAddress},
            {QStringLiteral("Summary"), content.Summary},
            {QStringLiteral("Body"), Printed(lang.DecodeFrom(r.LanguageId, r.Body.left(limit)), full)},
            {QStringLiteral("BodyBytes"), qint64(r.Body.size())},
            // What arrived, whole, even when Body is cut.
            {QStringLiteral("BodySHA256"), Sha256(r.Body)},
            {QStringLiteral("Truncated"), !full && (r.Body.size() > limit || content.Text.size() > limit)},
            {QStringLiteral("LanguageId"), r.LanguageId},
            {QStringLiteral("ReceivedTime"), r.ReceivedTime},
            {QStringLiteral("UserId"), r.UserId},
            {QStringLiteral("Text"), Printed(content.Text, full)},
            {QStringLiteral("Pictures"), pictures}};
}

QString ChatPlain(const QJsonObject& o) {
    return QStringLiteral("%1 %2 wparam=%3 %4 %5 %6 pictures=%7 text=%8")
        .arg(o.value(QStringLiteral("event")).toString(), o.value(QStringLiteral("id")).toString())
        .arg(o.value(QStringLiteral("wparam")).toInteger())
        .arg(o.value(QStringLiteral("NickName")).toString(), o.value(QStringLiteral("ComputerName")).toString(),
             o.value(QStringLiteral("IPAddress")).toString())
        .arg(o.value(QStringLiteral("Pictures")).toArray().size())
        .arg(OneLine(o.value(QStringLiteral("Text")).toString()));
}

} // namespace

std::optional<int> RunChatCommand(const QString& command, const QStringList& arguments, QTextStream& out,
                                  QTextStream& err) {
    if (command == QLatin1String("send")) return RunSend(arguments, out, err);
    if (command == QLatin1String("broadcast")) return RunBroadcast(arguments, out, err);
    return std::nullopt;
}

QString TakeChatListenOptions(QStringList& args, TChatListenOptions* options) {
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--full-bodies")) {
            options->FullBodies = true;
            args.remove(i);
            continue;
        }
        if (args[i] != QLatin1String("--state")) {
            ++i;
            continue;
        }
        const QString value = args.value(i + 1).toLower();
        if (value == QLatin1String("online")) options->State = TOnlineState::Online;
        else if (value == QLatin1String("busy")) options->State = TOnlineState::Busy;
        else if (value == QLatin1String("away")) options->State = TOnlineState::Away;
        else return QStringLiteral("--state needs online, busy or away");
        args.remove(i, 2);
    }
    return {};
}

void AttachChatListen(TNode& node, const TChatListenOptions& options, TCliPrint print) {
    if (options.State) node.SetStartState(*options.State);
    TChatService& chat = node.Chat();
    const bool full = options.FullBodies;
    const auto report = [print, full](int id, qintptr wParam, TChatKind kind) {
        return [print, id, wParam, kind, full](const TBroadcastData& record) {
            QJsonObject object = ChatJson(id, wParam, record, kind, full);
            object.insert(QStringLiteral("AutoReplied"), false);
            print(object, ChatPlain(object));
        };
    };
    QObject::connect(&chat, &TChatService::MessageArrived, report(WM_PEER_MESSAGE, 0, TChatKind::Message));
    QObject::connect(&chat, &TChatService::RefusalArrived, report(WM_PEER_MESSAGE, 1, TChatKind::Refusal));
    QObject::connect(&chat, &TChatService::BroadcastArrived, report(WM_PEER_BROADCAST, 0, TChatKind::Broadcast));
    QObject::connect(&chat, &TChatService::MessageAutoReplied,
                     [print, full](const TBroadcastData& record, const QString& reply, bool sent) {
                         QJsonObject object = ChatJson(WM_PEER_MESSAGE, 0, record, TChatKind::Message, full);
                         object.insert(QStringLiteral("AutoReplied"), true);
                         object.insert(QStringLiteral("Reply"), reply);
                         object.insert(QStringLiteral("ReplySent"), sent);
                         print(object, ChatPlain(object) + QStringLiteral(" auto-replied: ") + OneLine(reply));
                     });
}
