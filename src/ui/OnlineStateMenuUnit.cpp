#include "ui/OnlineStateMenuUnit.h"

namespace OnlineStateMenu {

int TagOf(TOnlineState state) { return TagOnline + OnlineStateToWire(state); }

std::optional<TOnlineState> StateOfTag(int tag) {
    switch (tag) {
    case TagOnline: return TOnlineState::Online;
    case TagBusy: return TOnlineState::Busy;
    case TagAway: return TOnlineState::Away;
    default: return std::nullopt;
    }
}

QString MenuImageName(TOnlineState state) {
    switch (state) {
    case TOnlineState::Online: return QStringLiteral("ONLINESTATE_PRESENT");
    case TOnlineState::Busy: return QStringLiteral("ONLINESTATE_BUSY");
    case TOnlineState::Away: return QStringLiteral("ONLINESTATE_AWAY");
    }
    return {};
}

QString HeaderImageName(TOnlineState state) { return QStringLiteral("U_") + MenuImageName(state); }

} // namespace OnlineStateMenu
