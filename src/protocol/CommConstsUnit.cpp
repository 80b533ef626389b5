#include "protocol/CommConstsUnit.h"

QString CommEventName(int id) {
    // Every numbered event of the program, the listener's and the local ones,
    // so that traces and tests can name whatever they see.
    switch (id) {
    case WM_PEER_LOGON: return QStringLiteral("WM_PEER_LOGON");
    case WM_PEER_STATE: return QStringLiteral("WM_PEER_STATE");
    case WM_PEER_NICKNAME: return QStringLiteral("WM_PEER_NICKNAME");
    case WM_PEER_LOGOFF: return QStringLiteral("WM_PEER_LOGOFF");
    case WM_PEER_BROADCAST: return QStringLiteral("WM_PEER_BROADCAST");
    case WM_PEER_MESSAGE: return QStringLiteral("WM_PEER_MESSAGE");
    case WM_PEER_FILES: return QStringLiteral("WM_PEER_FILES");
    case WM_PEER_LOGONREPLY: return QStringLiteral("WM_PEER_LOGONREPLY");
    case WM_PEER_FILEREQUEST: return QStringLiteral("WM_PEER_FILEREQUEST");
    case WM_PEER_FILEREPLY: return QStringLiteral("WM_PEER_FILEREPLY");
    case WM_FILE_REQUESTCANCELED: return QStringLiteral("WM_FILE_REQUESTCANCELED");
    case WM_FILE_PEERHANDLE: return QStringLiteral("WM_FILE_PEERHANDLE");
    case 0x1413: return QStringLiteral("WM_FILE_RECEIVED");
    case WM_FILE_TERMINATED: return QStringLiteral("WM_FILE_TERMINATED");
    case 0x1415: return QStringLiteral("WM_NOTIFY_CLOSED");
    case 0x1416: return QStringLiteral("WM_NOTIFY_IGNORE");
    case 0x1417: return QStringLiteral("WM_NOTIFY_VIEW");
    case 0x1418: return QStringLiteral("WM_NOTIFY_FREE");
    case WM_NETWORK_CONFIRMED: return QStringLiteral("WM_NETWORK_CONFIRMED");
    case WM_PEER_SIGNALREPLY: return QStringLiteral("WM_PEER_SIGNALREPLY");
    case 0x1501: return QStringLiteral("WM_ACTIVATE_INSTANCE");
    case 0x1602: return QStringLiteral("WM_SEND_FILEBEGIN");
    case 0x1603: return QStringLiteral("WM_SEND_PROGRESS");
    case 0x1604: return QStringLiteral("WM_SEND_DONE");
    case 0x1606: return QStringLiteral("WM_SEND_FAILED");
    case 0x1801: return QStringLiteral("WM_ZIP_CURRENTFILE");
    case 0x1802: return QStringLiteral("WM_ZIP_PERCENT");
    case 0x1803: return QStringLiteral("WM_ZIP_CANCELED");
    case 0x1804: return QStringLiteral("WM_ZIP_DONE");
    case 0x1805: return QStringLiteral("WM_ZIP_FOLDER");
    case 0x1A01: return QStringLiteral("WM_FILE_REPLY");
    case 0x3401: return QStringLiteral("WM_SEND_FILES");
    case 0x4401: return QStringLiteral("WM_MSG_EMOTION");
    case 0x4402: return QStringLiteral("WM_MSG_INCOMING");
    case 0x5401: return QStringLiteral("WM_MSG_CAPTURED");
    case WM_UPDATE_PEERREPLY: return QStringLiteral("WM_UPDATE_PEERREPLY");
    case WM_UPDATE_FILERECEIVED: return QStringLiteral("WM_UPDATE_FILERECEIVED");
    case WM_UPDATE_FILESDONE: return QStringLiteral("WM_UPDATE_FILESDONE");
    default: return {};
    }
}
