#include "ui/ContextHelpUnit.h"

#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/UILangUnit.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QWhatsThis>
#include <QWidget>

TContextHelp::TContextHelp(QString contentFile, QObject* parent)
    : QObject(parent),
      FContentFile(contentFile.isEmpty() ? Utils::RuntimeFolder() + QStringLiteral("Help/Content.txt")
                                         : std::move(contentFile)),
      FShowText([](const QPoint& pos, const QString& html, QWidget* widget) { QWhatsThis::showText(pos, html, widget); }) {}

int TContextHelp::HelpContextOf(const QWidget* widget) {
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        bool ok = false;
        const int id = widget->property(HelpContextProperty).toInt(&ok);
        if (ok && id > 0) return id;
    }
    return 0;
}

QString TContextHelp::PopupText(int contextId) const {
    if (contextId <= 0) return {};
    // Read when asked: the file is small and help is rare.
    const QString text = TProfileFile(FContentFile).ReadString(QStringLiteral("Popups"), QString::number(contextId));
    return text.isEmpty() ? QString() : Translate(text);
}

QString TContextHelp::PopupHtml(const QString& text) {
    return QStringLiteral("<div style=\"color:#800000; margin:10px\">%1</div>").arg(text.toHtmlEscaped());
}

bool TContextHelp::ShowFor(QWidget* widget, const QPoint& globalPos) {
    const QString text = PopupText(HelpContextOf(widget));
    if (text.isEmpty()) return false;
    FShowText(globalPos - QPoint(0, PopupOffset), PopupHtml(text), widget);
    return true;
}

bool TContextHelp::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    switch (event->type()) {
    case QEvent::QueryWhatsThis:
        // Tells the "?" mode that this control has something to say.
        if (HelpContextOf(widget) != 0) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::WhatsThis:
        return ShowFor(widget, static_cast<QHelpEvent*>(event)->globalPos());
    case QEvent::ShortcutOverride:
        // F1 on a control with help is this control's, not the Help menu's.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 && HelpContextOf(widget) != 0) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 && widget->hasFocus())
            return ShowFor(widget, widget->mapToGlobal(QPoint(widget->width() / 2, 0)));
        return false;
    default:
        return false;
    }
}
