#include "protocol/CommLocalUnit.h"

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/UILangUnit.h"

#include <QRegularExpression>
#include <memory>

namespace {

constexpr int kStateOnline = 0;
constexpr int kStateBusy = 1;
constexpr int kStateAway = 2;

const QString kUpdateIni = QStringLiteral("Update.ini");
const QString kCrLf = QStringLiteral("\r\n");

// One "address=mask" line as numbers; false when either part is no dotted quad.
bool ParseInterfaceLine(const QString& line, quint32* address, quint32* mask) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return false;
    *address = TCommLocal::DottedQuadToInt(line.left(eq));
    *mask = TCommLocal::DottedQuadToInt(line.mid(eq + 1));
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

QString DottedQuad(quint32 value) {
    return FormatText(QStringLiteral("%d.%d.%d.%d"),
                      {qint64(value >> 24), qint64((value >> 16) & 0xFF), qint64((value >> 8) & 0xFF), qint64(value & 0xFF)});
}

} // namespace

// --- TChatFormList ---

bool TChatFormList::Add(const QString& userKey, quint32 handle) {
    if (userKey.isEmpty() || handle == 0) return false;
    FEntries.insert(userKey.toCaseFolded(), TEntry{userKey, handle});
    return true;
}

bool TChatFormList::Remove(const QString& userKey) { return FEntries.remove(userKey.toCaseFolded()) > 0; }

int TChatFormList::RemoveHandle(quint32 handle) {
    if (handle == 0) return 0;
    int removed = 0;
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        if (it->Handle == handle) {
            it = FEntries.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

quint32 TChatFormList::Find(const QString& userKey) const {
    const auto it = FEntries.constFind(userKey.toCaseFolded());
    return it == FEntries.cend() ? 0 : it->Handle;
}

QStringList TChatFormList::Lines() const {
    QStringList out;
    for (const TEntry& entry : FEntries) out << FormatText(QStringLiteral("%s=%d"), {entry.UserKey, qint64(entry.Handle)});
    return out;
}

// --- TCommLocal ---

TCommLocal::TCommLocal(TApplicationParams& params, QString programFolder, QString versionText,
                       const TUserInterfaceLang* lang)
    : FParams(params), FProgramFolder(Utils::WithTrailingSlash(programFolder)), FVersionText(std::move(versionText)),
      FLang(lang) {}

void TCommLocal::SetOnlineState(int state) {
    if (state < kStateOnline || state > kStateAway) return;
    FOnlineState.store(static_cast<quint8>(state), std::memory_order_relaxed);
}

bool TCommLocal::GetAutoReply(QString* text) const {
    QString reply;
    bool result = false;
    const int state = OnlineState();
    if (state == kStateBusy || state == kStateAway) {
        const bool busy = state == kStateBusy;
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
            if (address) *address = DottedQuad(sender.Address);
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
        quint32 address = 0, mask = 0;
        // An adapter still waiting for its address has nothing to announce.
        if (!TryDottedQuad(e.Address, &address) || !TryDottedQuad(e.Mask, &mask) || address == 0) continue;
        out << FormatText(QStringLiteral("%s=%s"), {DottedQuad(address), DottedQuad(mask)});
    }
    return out;
}

bool TCommLocal::TryDottedQuad(const QString& text, quint32* value) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    quint32 result = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3) return false;
        int n = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
            n = n * 10 + (c.unicode() - '0');
        }
        if (n > 255) return false;
        result = (result << 8) | static_cast<quint32>(n);
    }
    if (value) *value = result;
    return true;
}

quint32 TCommLocal::DottedQuadToInt(const QString& text) {
    quint32 value = 0;
    return TryDottedQuad(text, &value) ? value : 0;
}
