#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

// This node's language identifier (a Windows LANGID) and the wire text
// encoding that follows from it: every node sends its text as bytes of the
// ANSI code page of its language, together with the identifier, and a
// receiver decodes by the sender's identifier.
// All methods are const and safe to call from any thread.
class TMessageLang {
public:
    // Own identifier read once: QUILLMATE_LANGID (decimal) when set, else the
    // system locale mapped to its LANGID.
    static TMessageLang& Instance();
    explicit TMessageLang(qint16 ownLanguageId);

    qint16 LanguageId() const { return FLanguageId; }

    // The two Chinese families between which texts are converted.
    static bool IsGBLanguage(int id);
    static bool IsBig5Language(int id);
    // Name of the ANSI code page of a language, as QStringEncoder/QStringDecoder
    // take it; the table lives in platform/CodePageUnit, which profile files share.
    static QByteArray CodePageName(int id);

    // Text in the code page of languageId; characters it lacks become '?'.
    static QByteArray Encode(int languageId, const QString& text);
    static QString Decode(int languageId, const QByteArray& bytes);

    // The identifier the operating system's locale stands for.
    static qint16 SystemLanguageId();
    static qint16 LanguageIdOfLocale(const QLocale& locale);

    // Own code page; unmappable characters become '?'.
    QByteArray EncodeOutgoing(const QString& text) const;
    // Bytes written by a node of senderLanguageId.
    QString DecodeFrom(int senderLanguageId, const QByteArray& bytes) const;
    // Text fields that peers show as names (nicknames, refusal reasons). The
    // GB2312/Big5 conversion joins here; until then the sender's code page decodes.
    QString ConvertIncomingText(int senderLanguageId, const QByteArray& bytes) const;

private:
    qint16 FLanguageId;
};
