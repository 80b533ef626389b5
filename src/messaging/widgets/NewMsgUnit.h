#pragma once

#include "protocol/CommConstsUnit.h"

#include <QByteArray>
#include <QString>

class QWidget;
class TNode;

// Opens a message window, or brings forward the one that already serves the
// same target when several are not allowed. timeText and content are used by
// read windows only: the received time as text and the received body (RTF,
// or plain text for a broadcast). Returns the window, or nullptr when none
// was opened.
QWidget* OpenMessageForm(TNode& node, QWidget* parent, bool sendMode, bool broadcastMode, bool useNickname,
                         const TRecipients& recipients, const QString& timeText = {},
                         const QByteArray& content = {});

// Appends an incoming message to the open chat window of its sender, if there
// is one; false when no chat window serves that sender.
bool ShowInChatWindow(const TBroadcastData& record);
