#pragma once

#include "core/OnlineStateValueUnit.h"

#include <QString>
#include <optional>

// How the windows show the own state: the Tags of the menu items that select
// it (header, tray and main menus) and the images of each state.
namespace OnlineStateMenu {

constexpr int TagOnline = 1001;
constexpr int TagBusy = 1002;
constexpr int TagAway = 1003;

int TagOf(TOnlineState state);
// nullopt for any tag outside 1001..1003.
std::optional<TOnlineState> StateOfTag(int tag);

// Menus and the online list ("ONLINESTATE_PRESENT" ...) and the header
// ("U_ONLINESTATE_PRESENT" ...).
QString MenuImageName(TOnlineState state);
QString HeaderImageName(TOnlineState state);

} // namespace OnlineStateMenu
