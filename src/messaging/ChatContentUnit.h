#pragma once

#include "protocol/CommConstsUnit.h"
#include "text/RichDocUnit.h"
#include "text/SummaryUnit.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TMessageLang;

// What an incoming chat record is.
enum class TChatKind { Message, Refusal, Broadcast };

// A record's text for people: summary and body decoded by the sender's
// language; a message's rich-text body read into plain text (U+FFFC where a
// picture stands) and its pictures.
struct TChatContent {
    QString Summary;
    QString Text;
    QList<TRichPicture> Pictures;
};
TChatContent ChatContent(const TBroadcastData& record, TChatKind kind, const TMessageLang& lang);

// The Windows code page that RTF written by a node of languageId declares.
int RtfCodePageOfLanguage(int languageId);
// A message body from plain text ('\n' between paragraphs) and pictures
// after it, each picture a paragraph of its own: RTF in the code page of languageId.
QByteArray RichBodyFromText(const QString& text, const QList<TRichPicture>& pictures, int languageId);
