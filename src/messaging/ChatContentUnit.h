#pragma once

#include "protocol/CommConstsUnit.h"
#include "text/RichDocUnit.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TMessageLang;

// What an incoming chat record is.
enum class TChatKind { Message, Refusal, Broadcast };

// The summary sent with a message: of the first 255 characters of its plain
// text, line 1 (or "<space or object>" when it holds nothing but blanks and
// pictures), CR LF, line 2 (empty when there is none); no tabs.
QString MakeFirst2Line(const QString& plainText);

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
