#pragma once

#include "text/widgets/RichDialogsUnit.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QFontComboBox;
class QToolButton;
class TApplicationParams;
class TRichInputBox;

// The sizes a font list offers: the 16 standard sizes for a scalable
// (TrueType, vector or device) font; a raster font's own sizes, ascending and
// each once (the standard ones when it names none).
QList<int> StandardFontSizes();
QList<int> FontSizesFor(bool scalable, const QList<int>& ownSizes);
// The same for an installed font family.
QList<int> LoadFontSizes(const QString& family);

// The message window's font bar (pnlFont): font, size, Bold, Italic,
// Underline and Color, each applied to the whole text of one input box and
// saved in the settings.
class TFontBar : public QWidget {
    Q_OBJECT
public:
    explicit TFontBar(TApplicationParams& params, QWidget* parent = nullptr);

    // Also gives the input Ctrl+B, Ctrl+I and Ctrl+U, which press the bar's
    // Bold, Italic and Underline (shown or not).
    void SetInput(TRichInputBox* input);
    void SetColourDialog(TColourDialog dialog) { FColourDialog = std::move(dialog); }
    void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }

    // As the window is created: a missing RichEditFontName becomes the
    // input's font; the controls show the settings; the input's format is reset.
    void LoadFromSettings();
    void TranslateCaptions();

    // The commands, as the controls call them.
    void FontChosen(const QString& family);
    // A size typed or picked; one that is no number (or beyond what a font
    // can have) is reported and nothing changes. False then.
    bool SizeEntered(const QString& text);
    void StyleClicked();
    void ColourClicked();

    QFontComboBox* FontBox() const { return FFont; }
    QComboBox* SizeBox() const { return FSize; }

signals:
    // A command changed the input's format.
    void FormatApplied();

private:
    void FillSizes(const QString& family, int selected);
    QToolButton* AddButton(const char* name, const char* image, bool checkable);

    TApplicationParams& FParams;
    QPointer<TRichInputBox> FInput;
    TColourDialog FColourDialog;
    TMessageBox FMessageBox;
    QFontComboBox* FFont;
    QComboBox* FSize;
    QToolButton* FBold;
    QToolButton* FItalic;
    QToolButton* FUnderline;
    QToolButton* FColour;
};
