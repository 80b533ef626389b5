#include "presence/OnlineStateUnit.h"

#include "core/TextFormatUnit.h"
#include "protocol/CommLocalUnit.h"
#include "text/UILangUnit.h"

namespace OnlineStates {

namespace {

QString OnOff(const TUserInterfaceLang* lang, bool on) {
    return on ? Translate(lang, QStringLiteral("ON")) : Translate(lang, QStringLiteral("OFF"));
}

} // namespace

QString StateText(int state, const TUserInterfaceLang* lang) {
    switch (state) {
    case Online: return Translate(lang, QStringLiteral("Online"));
    case Busy: return Translate(lang, QStringLiteral("Busy"));
    case Away: return Translate(lang, QStringLiteral("Away"));
    default: return {};
    }
}

QString StateCaption(const TApplicationParams& params, int state, bool longForm, const TUserInterfaceLang* lang) {
    const QString shortForm = FormatText(QStringLiteral("%s --- %s"), {params[spNickname], StateText(state, lang)});
    if (!longForm) return shortForm;
    return FormatText(QStringLiteral("%s\r\n%s %s\r\n%s %s"),
                      {shortForm, Translate(lang, QStringLiteral("Sound:")), OnOff(lang, params[bpPlaySound]),
                       Translate(lang, QStringLiteral("Notification Window:")),
                       OnOff(lang, params[bpUseNotificationWindow])});
}

QString HeaderTitle(const TUserInterfaceLang* lang) { return Translate(lang, QStringLiteral("My Online State:")); }

QString LoadingText(const TUserInterfaceLang* lang) { return Translate(lang, QStringLiteral("Loading...")); }

TStateTexts RefreshStateTexts(const TApplicationParams& params, int state, bool trayAnimating,
                              const TUserInterfaceLang* lang) {
    TStateTexts texts;
    texts.HeaderContent = StateCaption(params, state, false, lang);
    if (!trayAnimating) texts.TrayHint = StateCaption(params, state, true, lang);
    return texts;
}

QString MenuImageName(int state) {
    switch (state) {
    case Online: return QStringLiteral("ONLINESTATE_PRESENT");
    case Busy: return QStringLiteral("ONLINESTATE_BUSY");
    case Away: return QStringLiteral("ONLINESTATE_AWAY");
    default: return {};
    }
}

QString HeaderImageName(int state) {
    const QString name = MenuImageName(state);
    return name.isEmpty() ? name : QStringLiteral("U_") + name;
}

int EntryState(int entry) { return entry == EntryAway ? Away : Busy; }

TBooleanParams AutoReplyParam(int entry) {
    return entry == EntryAway ? bpState_Away_AutoReply : bpState_Busy_AutoReply;
}

TBooleanParams AutoSwitchParam(int entry) {
    return entry == EntryAway ? bpState_Away_AutoSwitch : bpState_Busy_AutoSwitch;
}

TStringParams AutoReplyContentParam(int entry) {
    return entry == EntryAway ? spState_Away_AutoReplyContent : spState_Busy_AutoReplyContent;
}

QString CleanAutoReplyText(const QString& text) {
    QString cleaned = text;
    cleaned.remove(QLatin1Char('\t'));
    // Never leave half of a surrogate pair at the cut.
    if (cleaned.size() > MaxAutoReplyLength) {
        qsizetype length = MaxAutoReplyLength;
        if (cleaned.at(length - 1).isHighSurrogate()) --length;
        cleaned.truncate(length);
    }
    return cleaned;
}

void StoreAutoReplyText(TApplicationParams& params, int entry, const QString& text) {
    params[AutoReplyContentParam(entry)] = CleanAutoReplyText(text);
}

TStateChoice ChooseOnlineState(int tag, int currentState, const TApplicationParams& params) {
    TStateChoice choice;
    if (tag == currentState + TagOnline) return choice;
    switch (tag) {
    case TagOnline:
        choice.Kind = TStateChoice::ckSwitch;
        choice.State = Online;
        break;
    case TagBusy:
    case TagAway: {
        const int entry = tag == TagBusy ? EntryBusy : EntryAway;
        if (params[AutoSwitchParam(entry)]) {
            choice.Kind = TStateChoice::ckSwitch;
            choice.State = EntryState(entry);
        } else {
            choice.Kind = TStateChoice::ckDialog;
            choice.Entry = entry;
        }
        break;
    }
    default:
        break;
    }
    return choice;
}

} // namespace OnlineStates

TOnlineStateSwitch::TOnlineStateSwitch(TApplicationParams& params, TOnlineStateAnnouncer& announcer, QObject* parent)
    : QObject(parent), FParams(params), FAnnouncer(announcer) {}

OnlineStates::TStateChoice TOnlineStateSwitch::Choose(int tag) {
    const OnlineStates::TStateChoice choice = OnlineStates::ChooseOnlineState(tag, State(), FParams);
    if (choice.Kind == OnlineStates::TStateChoice::ckSwitch) Switch(choice.State);
    return choice;
}

bool TOnlineStateSwitch::Switch(int state) {
    if (!FAnnouncer.SwitchOnlineState(state)) return false;
    emit StateSwitched(state);
    return true;
}
