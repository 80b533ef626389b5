#pragma once

#include "protocol/CommClientUnit.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One file an answering node will send: the line exactly as it was asked for,
// and the real path inside the program folder.
struct TOfferedFile {
    QByteArray Line;
    QString Name; // normalised
    QString Path;
};

struct TOfferSelection {
    QList<TOfferedFile> Files;
    QStringList Refused; // asked for but not sent: not offered, unsafe, missing, a link leaving the folder
};

// The files of wanted (lines in this node's code page, languageId) that this
// node offered (offered: the names its answer listed) and that lie, links
// followed, inside programFolder as regular files. Each file once.
TOfferSelection SelectOfferedFiles(const QList<QByteArray>& wanted, const QStringList& offered,
                                   const QString& programFolder, qint16 languageId);

struct TUpdatePushPlan {
    QString Host; // the requester's address
    quint16 Port = 7709;
    QList<TOfferedFile> Files;
    TTransportConfig::TResolver Resolver;
    int ConnectTimeoutMs = 15 * 1000;
    int StallTimeoutMs = 60 * 1000;
    int EndWaitMs = 30 * 1000;
};

struct TUpdatePushResult {
    bool Connected = false;
    int Sent = 0;
    QString Error;
};

// Streams the files as one "QLM_TRANSUPDATEFILE" request, blocking (a worker
// calls it). A file that cannot be read is left out, as a missing one is.
TUpdatePushResult PushUpdateFiles(const TUpdatePushPlan& plan);
