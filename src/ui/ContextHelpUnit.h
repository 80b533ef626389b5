#pragma once

#include "ui/UtilsGuiUnit.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QWidget;

// Pop-up help of the dialogs. A control names its text by the integer
// property "HelpContext"; the texts live in Help/Content.txt beside the
// program ([Popups], one key per id). The "?" button of a dialog, Shift+F1
// and F1 on a control with an id show the text in a small pop-up 20 pixels
// above the spot asked about. Installed once on the application.
class TContextHelp : public QObject {
    Q_OBJECT
public:
    static constexpr const char* HelpContextProperty = Utils::HelpContextProperty;
    static constexpr int PopupOffset = 20;

    using TShowText = std::function<void(const QPoint& globalPos, const QString& html, QWidget* widget)>;

    // contentFile: empty for the shipped Help/Content.txt.
    explicit TContextHelp(QString contentFile = {}, QObject* parent = nullptr);

    // Tests take the pop-up here instead of QWhatsThis.
    void SetShowText(TShowText showText) { FShowText = std::move(showText); }

    // The help context id of the widget or its nearest ancestor inside the
    // same window; 0 when there is none.
    static int HelpContextOf(const QWidget* widget);
    // The translated text of an id; empty when the file has none.
    QString PopupText(int contextId) const;
    // The pop-up's content: the text in dark red with 10-pixel margins.
    static QString PopupHtml(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ShowFor(QWidget* widget, const QPoint& globalPos);

    QString FContentFile;
    TShowText FShowText;
};
