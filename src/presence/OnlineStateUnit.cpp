#include "presence/OnlineStateUnit.h"

#include "core/TextFormatUnit.h"
#include "text/UILangUnit.h"

namespace OnlineStates {

namespace {

QString OnOff(const TUserInterfaceLang* lang, bool on) {
    return on ? Translate(lang, QStringLiteral("ON")) : Translate(lang, QStringLiteral("OFF"));
}

} // namespace

QString StateText(TOnlineState state, const TUserInterfaceLang* lang) {
    switch (state) {
    case TOnlineState::Online: return Translate(lang, QStringLiteral("Online"));
    case TOnlineState::Busy: return Translate(lang, QStringLiteral("Busy"));
    case TOnlineState::Away: return Translate(lang, QStringLiteral("Away"));
    }
    return {};
}

QString StateCaption(const TApplicationParams& params, TOnlineState state, bool longForm, const TUserInterfaceLang* lang) {
    const QString shortForm = FormatText(QStringLiteral("%s --- %s"), {params[spNickname], StateText(state, lang)});
    if (!longForm) return shortForm;
    return FormatText(QStringLiteral("%s\r\n%s %s\r\n%s %s"),
                      {shortForm, Translate(lang, QStringLiteral("Sound:")), OnOff(lang, params[bpPlaySound]),
                       Translate(lang, QStringLiteral("Notification Window:")),
                       OnOff(lang, params[bpUseNotificationWindow])});
}

QString HeaderTitle(const TUserInterfaceLang* lang) { return Translate(lang, QStringLiteral("My Online State:")); }

QString LoadingText(const TUserInterfaceLang* lang) { return Translate(lang, QStringLiteral("Loading...")); }

TStateTexts RefreshStateTexts(const TApplicationParams& params, TOnlineState state, bool trayAnimating,
                              const TUserInterfaceLang* lang) {
    TStateTexts texts;
    texts.HeaderContent = StateCaption(params, state, false, lang);
    if (!trayAnimating) texts.TrayHint = StateCaption(params, state, true, lang);
    return texts;
}

TBooleanParams AutoReplyParam(TOnlineState state) {
    return state == TOnlineState::Away ? bpState_Away_AutoReply : bpState_Busy_AutoReply;
}

TBooleanParams AutoSwitchParam(TOnlineState state) {
    return state == TOnlineState::Away ? bpState_Away_AutoSwitch : bpState_Busy_AutoSwitch;
}

TStringParams AutoReplyContentParam(TOnlineState state) {
    return state == TOnlineState::Away ? spState_Away_AutoReplyContent : spState_Busy_AutoReplyContent;
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

void StoreAutoReplyText(TApplicationParams& params, TOnlineState state, const QString& text) {
    params[AutoReplyContentParam(state)] = CleanAutoReplyText(text);
}

TStateChoice ChooseOnlineState(TOnlineState wanted, TOnlineState current, const TApplicationParams& params) {
    TStateChoice choice;
    if (wanted == current) return choice;
    choice.State = wanted;
    // Online needs no reply text; Busy and Away ask for one unless told not to.
    const bool direct = wanted == TOnlineState::Online || params[AutoSwitchParam(wanted)];
    choice.Kind = direct ? TStateChoice::ckSwitch : TStateChoice::ckDialog;
    return choice;
}

} // namespace OnlineStates

TOnlineStateSwitch::TOnlineStateSwitch(TApplicationParams& params, TOnlineStateAnnouncer& announcer, QObject* parent)
    : QObject(parent), FParams(params), FAnnouncer(announcer) {}

OnlineStates::TStateChoice TOnlineStateSwitch::Choose(TOnlineState wanted) {
    const OnlineStates::TStateChoice choice = OnlineStates::ChooseOnlineState(wanted, State(), FParams);
    if (choice.Kind == OnlineStates::TStateChoice::ckSwitch) Switch(choice.State);
    return choice;
}

bool TOnlineStateSwitch::Switch(TOnlineState state) {
    if (!FAnnouncer.SwitchOnlineState(state)) return false;
    emit StateSwitched(state);
    return true;
}
