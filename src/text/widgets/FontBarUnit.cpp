#include "text/widgets/FontBarUnit.h"

#include "core/ParamsUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "ui/AppImagesUnit.h"

#include <QComboBox>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr int kMinPoints = 1;
constexpr int kMaxPoints = 1638;

} // namespace

QList<int> StandardFontSizes() { return {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72}; }

QList<int> FontSizesFor(bool scalable, const QList<int>& ownSizes) {
    if (scalable) return StandardFontSizes();
    QList<int> sizes;
    for (int size : ownSizes)
        if (size > 0) sizes.append(size);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes.isEmpty() ? StandardFontSizes() : sizes;
}

QList<int> LoadFontSizes(const QString& family) {
    const bool scalable = QFontDatabase::isScalable(family);
    return FontSizesFor(scalable, scalable ? QList<int>() : QFontDatabase::pointSizes(family));
}

TFontBar::TFontBar(TApplicationParams& params, QWidget* parent)
    : QWidget(parent), FParams(params),
      FColourDialog([](QWidget* owner, const QColor& initial) { return ShowColourDialog(owner, initial); }),
      FMessageBox([](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
          return ShowRichMessageBox(owner, kind, text);
      }) {
    setObjectName(QStringLiteral("pnlFont"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    FFont = new QFontComboBox(this);
    FFont->setObjectName(QStringLiteral("cbFont"));
    FFont->setEditable(false);
    FSize = new QComboBox(this);
    FSize->setObjectName(QStringLiteral("cbFontSize"));
    FSize->setEditable(true);
    FSize->setInsertPolicy(QComboBox::NoInsert);
    FSize->setMinimumContentsLength(3);
    layout->addWidget(FFont);
    layout->addWidget(FSize);
    FBold = AddButton("tbBold", "SEND_FONTBOLD", true);
    FItalic = AddButton("tbItalic", "SEND_FONTITALIC", true);
    FUnderline = AddButton("tbUnderLine", "SEND_FONTUNDERLINE", true);
    FColour = AddButton("tbColor", "SEND_FONTCOLOR", false);
    layout->addStretch();

    connect(FFont, qOverload<int>(&QComboBox::activated), this, [this] { FontChosen(FFont->currentText()); });
    connect(FSize, &QComboBox::textActivated, this, [this](const QString& text) { SizeEntered(text); });
    connect(FSize->lineEdit(), &QLineEdit::returnPressed, this, [this] { SizeEntered(FSize->currentText()); });
    for (QToolButton* style : {FBold, FItalic, FUnderline})
        connect(style, &QToolButton::clicked, this, &TFontBar::StyleClicked);
    connect(FColour, &QToolButton::clicked, this, &TFontBar::ColourClicked);
    TranslateCaptions();
}

QToolButton* TFontBar::AddButton(const char* name, const char* image, bool checkable) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setIcon(TAppImages::Instance().Icon(QString::fromLatin1(image)));
    layout()->addWidget(button);
    return button;
}

void TFontBar::TranslateCaptions() {
    const struct {
        QToolButton* Button;
        QString Caption;
    } captions[] = {
        {FBold, Translate(QStringLiteral("Bold"))},
        {FItalic, Translate(QStringLiteral("Italic"))},
        {FUnderline, Translate(QStringLiteral("Underline"))},
        {FColour, Translate(QStringLiteral("Color"))},
    };
    for (const auto& caption : captions) {
        caption.Button->setText(caption.Caption);
        caption.Button->setToolTip(caption.Caption);
    }
}

void TFontBar::FillSizes(const QString& family, int selected) {
    const QSignalBlocker quiet(FSize);
    FSize->clear();
    for (int size : LoadFontSizes(family)) FSize->addItem(QString::number(size));
    FSize->setCurrentText(QString::number(selected));
}

void TFontBar::LoadFromSettings() {
    if (FParams[spRichEditFontName].isEmpty() && FInput) FParams[spRichEditFontName] = FInput->font().family();
    const QString family = FParams[spRichEditFontName];
    {
        const QSignalBlocker quiet(FFont);
        FFont->setCurrentFont(QFont(family));
    }
    FillSizes(family, FParams[ipRichEditFontSize]);
    FBold->setChecked(FParams[bpBold]);
    FItalic->setChecked(FParams[bpItalic]);
    FUnderline->setChecked(FParams[bpUnderLine]);
    if (FInput) FInput->ResetInputFormat();
}

void TFontBar::FontChosen(const QString& family) {
    if (!FInput || FInput->isReadOnly() || family.isEmpty()) return;
    FillSizes(family, FParams[ipRichEditFontSize]);
    FInput->ApplyFontName(family);
    emit FormatApplied();
}

bool TFontBar::SizeEntered(const QString& text) {
    if (!FInput || FInput->isReadOnly()) return false;
    bool number = false;
    const int points = text.trimmed().toInt(&number);
    if (!number || points < kMinPoints || points > kMaxPoints) {
        if (FMessageBox)
            FMessageBox(window(), Utils::TMessageBoxKind::Error,
                        TranslateFormat(QStringLiteral("'%s' is not a valid font size."), {text}));
        return false;
    }
    FInput->ApplyFontSize(points);
    emit FormatApplied();
    return true;
}

void TFontBar::SetInput(TRichInputBox* input) {
    FInput = input;
    if (!input) return;
    const QList<QPair<QKeySequence, QToolButton*>> keys{
        {QKeySequence(Qt::CTRL | Qt::Key_B), FBold},
        {QKeySequence(Qt::CTRL | Qt::Key_I), FItalic},
        {QKeySequence(Qt::CTRL | Qt::Key_U), FUnderline},
    };
    for (const auto& key : keys) {
        QToolButton* button = key.second;
        auto* shortcut = new QShortcut(key.first, input);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, button, [this, button] {
            if (!FInput || FInput->isReadOnly() || !button->isEnabled()) return;
            button->toggle();
            StyleClicked();
        });
    }
}

void TFontBar::StyleClicked() {
    if (!FInput || FInput->isReadOnly()) return;
    FInput->ApplyFontStyle(FBold->isChecked(), FItalic->isChecked(), FUnderline->isChecked());
    emit FormatApplied();
}

void TFontBar::ColourClicked() {
    if (!FInput || FInput->isReadOnly() || !FColourDialog) return;
    const std::optional<QColor> colour = FColourDialog(window(), ColourFromSetting(FParams[ipRichEditFontColor]));
    if (!colour) return;
    FInput->ApplyFontColour(*colour);
    emit FormatApplied();
}
