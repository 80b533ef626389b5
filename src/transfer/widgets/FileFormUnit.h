#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/widgets/ReceiveRequestUnit.h"

#include <QStringList>

class QWidget;
class TChatLog;
class TFileForm;
class TNode;

// Entry points of the file windows for the main window, the tray, the queue
// and the message window. Each returns the window it opened or brought
// forward (null when none).

// Send mode for the first recipient; paths (files and folders) are added at
// once. Without paths and with AllowMultiForm off, a window already open for
// the same peer id is brought forward instead.
TFileForm* OpenFileFormToSend(TNode& node, QWidget* parent, const TRecipients& recipients, bool hasNickname,
                              const QStringList& paths = {});
// Manage mode: the whole received-files folder (one window unless AllowMultiForm).
TFileForm* OpenFileManager(TNode& node, QWidget* parent);
// Receive mode: what one transfer stored, its files marked.
TFileForm* OpenFileFormForArrival(TNode& node, QWidget* parent, const TFilesArrival& arrival);

// The receive dialog for an offer (New or Queued: it answers the sender), or
// to tell of a withdrawn offer (Cancelled, QueuedCancelled). When the files
// arrive it opens the receive window itself.
TReceiveRequestDialog* OpenFileFormForOffer(TNode& node, QWidget* parent, const TOnlineNotify& offer,
                                            TReceiveRequestDialog::TMode mode = TReceiveRequestDialog::rmNew);
// The sender stopped a transfer no live dialog waited for (mode Terminated).
TReceiveRequestDialog* ShowTransferTerminated(TNode& node, QWidget* parent, const TFilesArrival& arrival);

// The chat-log entry of an arrival (every arrival is logged once, whoever shows it).
void LogReceivedFiles(TChatLog& log, const TFilesArrival& arrival);
