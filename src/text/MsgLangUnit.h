#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <atomic>

class TGBBig5Convert;

// This node's language identifier (a Windows LANGID) and the wire text
// encoding that follows from it: every node sends its text as bytes of the
// ANSI code page of its language, together with the identifier, and a
// receiver decodes by the sender's identifier.
// All methods are safe to call from any thread.
class TMessageLang {
public:
    // Own identifier read once (NetworkLanguageId of the settings); the
    // GB2312/Big5 table beside the program.
    static TMessageLang& Instance();
    // Without a table nothing is converted between GB2312 and Big5.
    explicit TMessageLang(qint16 ownLanguageId, const TGBBig5Convert* table = nullptr);
    TMessageLang(const TMessageLang& other);
    TMessageLang& operator=(const TMessageLang&) = delete;

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
    // This node's identifier: QUILLMATE_LANGID when set, else the setting
    // NetworkLanguage when it names a known language, else the locale's.
    static qint16 NetworkLanguageId(int setting);
    static bool IsKnownLanguageId(int id);
    static qint16 LanguageIdOfLocale(const QLocale& locale);

    // Own code page; unmappable characters become '?'.
    QByteArray EncodeOutgoing(const QString& text) const;
    // Bytes written by a node of senderLanguageId.
    QString DecodeFrom(int senderLanguageId, const QByteArray& bytes) const;
    // The setting AutoCodeConvert, handed over by whoever owns the settings.
    void SetAutoCodeConvert(bool on) { FAutoCodeConvert.store(on, std::memory_order_relaxed); }
    bool AutoCodeConvert() const { return FAutoCodeConvert.load(std::memory_order_relaxed); }
    const TGBBig5Convert* Table() const { return FTable; }

    // Whether text from senderLanguageId is shown converted: the table is
    // there, AutoCodeConvert is on, and one side is GB2312, the other Big5.
    bool NeedsConversion(int senderLanguageId) const;
    // Big5 text shown in GB2312 characters on a GB node, GB2312 text in Big5
    // characters on a Big5 node; otherwise decoded as sent.
    QString ConvertFrom(int senderLanguageId, const QByteArray& bytes) const;
    // Text from a peer as this node shows it: converted when NeedsConversion,
    // else decoded in the sender's code page.
    QString ConvertIncomingText(int senderLanguageId, const QByteArray& bytes) const;
    // The same for text already decoded in the sender's code page (stored
    // records keep it so): its bytes in that code page, converted.
    QString ConvertDecoded(int senderLanguageId, const QString& text) const;

private:
    qint16 FLanguageId;
    const TGBBig5Convert* FTable;
    std::atomic<bool> FAutoCodeConvert{true};
};
