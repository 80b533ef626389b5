#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/widgets/FileUnit.h"
#include "transfer/widgets/ReceiveRequestUnit.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

// The file windows of one desktop, for the main window, the tray, the queue
// and the message windows: opens them with the services they use and finds
// the ones of which only one may be open. Windows still open when it goes are
// closed with it. Each opener returns the window it opened or brought forward
// (null when none).
class TFileWindows : public QObject {
    Q_OBJECT
public:
    explicit TFileWindows(TFileFormContext context, QObject* parent = nullptr);
    ~TFileWindows() override;

    // Send mode for the first recipient; paths (files and folders) are added at
    // once. Without paths and with AllowMultiForm off, a window already open
    // for the same peer id is brought forward instead.
    TFileForm* OpenToSend(const TRecipients& recipients, bool hasNickname, const QStringList& paths = {});
    // Manage mode: the whole received-files folder (one window unless AllowMultiForm).
    TFileForm* OpenManager();
    // Receive mode: what one transfer stored, its files marked.
    TFileForm* OpenForArrival(const TFilesArrival& arrival);
    // The receive dialog for an offer (New or Queued: it answers the sender),
    // or to tell of a withdrawn or stopped offer (Cancelled, QueuedCancelled,
    // Terminated). When the files arrive it opens the receive window itself.
    TReceiveRequestDialog* OpenForOffer(const TOnlineNotify& offer,
                                        TReceiveRequestDialog::TMode mode = TReceiveRequestDialog::rmNew);

    const TFileFormContext& Context() const { return FContext; }
    TFileFormContext& Context() { return FContext; }

private:
    TFileForm* Existing(const QString& key) const;
    TFileForm* Show(TFileForm* form, const QString& singleKey);

    TFileFormContext FContext;
    QHash<QString, QPointer<TFileForm>> FSingles; // manage window, send window of a peer id
    QList<QPointer<QWidget>> FOpen;               // every window and dialog it opened
};
