#include "protocol/CommLocalUnit.h"

#include "core/DottedQuadUnit.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/UILangUnit.h"

#include <QRegularExpression>
#include <memory>

namespace {

const QString kUpdateIni = QStringLiteral("Update.ini");
const QString kCrLf = QStringLiteral("\r\n");

// One "address=mask" line as numbers; false when either part is no dotted quad.
bool ParseInterfaceLine(const QString& line, quint32* address, quint32* mask) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return false;
    *address = ParseDottedQuad(QStringView(line).left(eq)).value_or(0);
    *mask = ParseDottedQuad(QStringView(line).mid(eq + 1)).value_or(0);
    return *address != 0 && *mask != 0;
}

// A peer that names its network's own address or its broadcast address as
// its address would have us send to a whole subnet.
bool IsHostAddress(quint32 address, quint32 mask) {
    const quint32 hostBits = ~mask;
    if (hostBits <= 1) return true; // /31 and /32 have no such addresses
    const quint32 host = address & hostBits;
    return host != 0 && host != hostBits;
}

} // namespace

// --- TCommLocal ---

TCommLocal::TCommLocal(TApplicationParams& params, QString programFolder, QString versionText,
                       const TUserInterfaceLang* lang)
    : FParams(params), FProgramFolder(Utils::WithTrailingSlash(programFolder)), FVersionText(std::move(versionText)),
      FLang(lang) {}

bool TCommLocal::GetAutoReply(QString* text) const {
    QString reply;
    bool result = false;
    const TOnlineState state = OnlineState();
    if (state != TOnlineState::Online) {
        const bool busy = state == TOnlineState::Busy;
        result = FParams[busy ? bpState_Busy_AutoReply : bpState_Away_AutoReply];
        const QString& content = FParams[busy ? spState_Busy_AutoReplyContent : spState_Away_AutoReplyContent];
        reply = FormatText(QStringLiteral("[%s]: %s"), {Translate(FLang, QStringLiteral("Auto-reply Message")), content});
    }
    if (text) *text = reply;
    return result;
}

bool TCommLocal::PickSameSubnetAddress(const QString& senderInterfaces, QString* address) const {
    if (address) address->clear();
    const QStringList own = LocalInterfaces();
    if (own.isEmpty()) return false;

    struct TNet {
        quint32 Address, Mask;
    };
    QList<TNet> ownNets;
    for (const QString& line : own) {
        TNet net{};
        if (ParseInterfaceLine(line, &net.Address, &net.Mask) && (net.Address & net.Mask) != 0) ownNets.append(net);
    }
    if (ownNets.isEmpty()) return false;

    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\n|\r"));
    const QStringList senderLines = senderInterfaces.split(kLineBreak, Qt::SkipEmptyParts);
    for (const QString& line : senderLines) {
        TNet sender{};
        if (!ParseInterfaceLine(line, &sender.Address, &sender.Mask)) continue;
        const quint32 senderNet = sender.Address & sender.Mask;
        if (senderNet == 0 || !IsHostAddress(sender.Address, sender.Mask)) continue;
        for (const TNet& ours : ownNets) {
            if ((ours.Address & ours.Mask) != senderNet) continue;
            if (address) *address = FormatDottedQuad(sender.Address);
            return true;
        }
    }
    return false;
}

bool TCommLocal::GetBroadcastList(QStringList* list) const {
    if (!list) return false;
    list->clear();
    const QStringList pieces = FParams[spUDPBroadcastIPList].split(QLatin1Char('\t'));
    for (const QString& piece : pieces) {
        const QString entry = piece.trimmed();
        if (!entry.startsWith(QLatin1Char('+'))) continue;
        const QString host = entry.mid(1).trimmed();
        // A lone "+" names no host; sending to it would go nowhere useful.
        if (!host.isEmpty()) list->append(host);
    }
    return true;
}

QString TCommLocal::GetUpdateFileList(const QString& peerVersion) const {
    if (FVersionText.isEmpty() || peerVersion.trimmed().isEmpty()) return {};
    TProfileFile ini;
    if (!ini.Load(FProgramFolder + kUpdateIni)) return {};
    const QString section = FormatText(QStringLiteral("%s_%s"), {FVersionText, peerVersion});
    QString out;
    for (const auto& [key, value] : ini.ReadSectionPairs(section))
        if (!value.isEmpty()) out += value + kCrLf;
    if (out.isEmpty()) return {};
    return out + kUpdateIni + kCrLf;
}

QStringList TCommLocal::LocalInterfaces() const {
    QReadLocker lock(&FInterfacesLock);
    return FLocalInterfaces;
}

void TCommLocal::SetLocalInterfaces(QStringList lines) {
    QWriteLocker lock(&FInterfacesLock);
    FLocalInterfaces = std::move(lines);
}

QString TCommLocal::LocalInterfacesText() const {
    QString out;
    for (const QString& line : LocalInterfaces()) out += line + kCrLf;
    return out;
}

QStringList TCommLocal::EnumerateInterfaces() { return InterfaceLines(Platform::IPv4InterfaceEntries()); }

QStringList TCommLocal::InterfaceLines(const QList<TNetInterfaceEntry>& entries) {
    QStringList out;
    const qsizetype count = qMin<qsizetype>(entries.size(), MaxInterfaceEntries);
    for (qsizetype i = 0; i < count; ++i) {
        const TNetInterfaceEntry& e = entries[i];
        if (!e.Up || e.Loopback) continue;
        const std::optional<quint32> address = ParseDottedQuad(e.Address);
        const std::optional<quint32> mask = ParseDottedQuad(e.Mask);
        // An adapter still waiting for its address has nothing to announce.
        if (!address || !mask || *address == 0) continue;
        out << FormatText(QStringLiteral("%s=%s"), {FormatDottedQuad(*address), FormatDottedQuad(*mask)});
    }
    return out;
}
