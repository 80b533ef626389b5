#pragma once

#include "console/ConsoleCodecUnit.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// Limits of the console transport (characters).
constexpr int kConsoleMaxText = 885;
constexpr int kConsoleMaxRecipient = 63;
constexpr int kConsoleMaxSender = 254;

// How long one recipient may take, in milliseconds.
struct TConsoleLimits {
    int ConnectMs = 5000;  // to open the session service
    int ReplyMs = 10000;   // for each reply of the peer
    int QueryMs = 1500;    // name query and system resolver together
    int SettleMs = 20;     // after a first answer, for a second host claiming the name (a LAN answers in ms)
};

// Where names are asked and sessions opened. Empty QueryTargets: the
// broadcast address of every interface that is up (plus Wins when set).
struct TConsoleNetwork {
    quint16 NamePort = ConsoleWire::kNamePort;
    quint16 SessionPort = ConsoleWire::kSessionPort;
    QList<QHostAddress> QueryTargets;
    QHostAddress Wins;
    bool SystemResolver = true;
};

// One recipient's send.
struct TConsoleRequest {
    QString Recipient;
    QString Sender;       // the originator name on the wire (the given one or this computer's)
    QString CallingName;  // this computer's NetBIOS name for the session request
    QString Text;
    int LanguageId = 1033;
};

struct TConsoleOutcome {
    ConsoleWire::TConsoleResult Result = ConsoleWire::TConsoleResult::Other;
    QString Reason;        // what went wrong, in English, for the CLI and tests
    QHostAddress Address;  // where the name led, when it led anywhere
    bool Sent() const { return Result == ConsoleWire::TConsoleResult::Sent; }
};

// The checks done before anything is sent: a result when the request cannot go.
std::optional<TConsoleOutcome> CheckConsoleRequest(const TConsoleRequest& request);

// The text as it goes on the wire: lines end in CR LF, bytes in the code page.
QByteArray ConsoleWireText(const QString& text, int languageId);

// Sends one console message, blocking the calling thread (a worker) for at
// most QueryMs + ConnectMs + ReplyMs per reply. cancel, when set, ends it at
// the next short wait.
TConsoleOutcome SendConsoleMessage(const TConsoleRequest& request, const TConsoleNetwork& network,
                                   const TConsoleLimits& limits,
                                   const std::shared_ptr<std::atomic<bool>>& cancel = {});

// The shown text of an outcome (translated): the messenger service's texts,
// "Can not send console message to: %s" for the rest.
QString ConsoleErrorText(const TConsoleOutcome& outcome, const QString& recipient, const QString& sender);
