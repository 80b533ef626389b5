#pragma once

#include <optional>

// A user's online state. Peers send it as an integer; OnlineStateFromWire and
// OnlineStateToWire are the only places that know the numbers.
enum class TOnlineState { Online = 0, Busy = 1, Away = 2 };

// nullopt for a number that names no state (a newer peer's, or garbage): the
// record keeps the number, nothing shows or acts on it.
constexpr std::optional<TOnlineState> OnlineStateFromWire(int value) {
    switch (value) {
    case 0: return TOnlineState::Online;
    case 1: return TOnlineState::Busy;
    case 2: return TOnlineState::Away;
    default: return std::nullopt;
    }
}

constexpr int OnlineStateToWire(TOnlineState state) { return static_cast<int>(state); }
