#pragma once

#include "text/SummaryUnit.h"
#include "text/widgets/RichEditUnit.h"

#include <QStringList>

// The input box of the message window (RichED). Drops and pastes pass its
// acceptance rules: in plain-text mode text only; a picture file is inserted
// (an icon drawn on the box's background), other files are handed on as a
// file-send request; a bitmap becomes a picture; the private format keeps its
// formatting; anything else arrives as plain text.
class TRichInputBox : public TRichEdit {
    Q_OBJECT
public:
    explicit TRichInputBox(TApplicationParams& params, QWidget* parent = nullptr);

    // Recipients of the window: with two or more, files are not sent from here.
    void SetRecipientCount(int count) { FRecipientCount = count; }
    // Longest text in characters (0: no limit); what goes beyond is cut off.
    void SetMaxLength(int characters);
    int MaxLength() const { return FMaxLength; }

    // The caret's and the word's format from the settings (RichEditFontName,
    // RichEditFontSize, Bold, Italic, UnderLine, RichEditFontColor); not in a
    // read-only box or in plain-text mode.
    void ResetInputFormat();
    // The settings' format as a character format.
    QTextCharFormat SettingsFormat() const;

    // Font bar commands: each applies to the whole text (the selection stays
    // as it was) and to what is typed next, and saves its setting; nothing
    // happens in a read-only box or in plain-text mode.
    void ApplyFontName(const QString& family);
    void ApplyFontSize(int points);
    void ApplyFontStyle(bool bold, bool italic, bool underline);
    void ApplyFontColour(const QColor& colour);
    void ApplyToWholeText(const QTextCharFormat& format);

    QString MakeFirst2Line() const;

    // The formats of the clipboard Paste Special offers.
    QList<TPasteChoice> PasteChoices(const QMimeData& data) const;
    void PasteSpecial() override;
    void SetPasteSpecialDialog(TPasteSpecialDialog dialog) { FPasteSpecialDialog = std::move(dialog); }

    // Data pasted at the caret by the drop and paste rules (a screen capture).
    void PasteData(const QMimeData& data) { insertFromMimeData(&data); }

    // Extensions of the files a drop or paste inserts as pictures.
    static bool IsPictureExtension(const QString& suffix);

signals:
    // Files dropped or pasted that are no picture to insert: the window
    // offers them to its recipients.
    void FileSendRequested(const QStringList& paths);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Each returns true when it took the data.
    bool TakeFiles(const QStringList& paths);
    void TakeBitmap(const QMimeData& data, bool ownBytes);
    bool TakeRtf(const QByteArray& rtf, bool withPictures);
    void TakeText(const QString& text);
    void CutToMaxLength(int changeEnd);

    TPasteSpecialDialog FPasteSpecialDialog;
    int FRecipientCount = 1;
    int FMaxLength = 0;
    int FChangeEnd = 0;
    bool FResetting = false;
    bool FCutting = false;
};
