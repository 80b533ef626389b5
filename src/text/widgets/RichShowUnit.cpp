#include "text/widgets/RichShowUnit.h"

#include "core/TextFormatUnit.h"

#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>

TRichChatPane::TRichChatPane(TApplicationParams& params, QWidget* parent) : TRichEdit(params, parent) {
    setObjectName(QStringLiteral("RichShow"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Nothing is edited here: no undo history to keep pictures for.
    document()->setUndoRedoEnabled(false);
}

void TRichChatPane::AppendToChat(const QString& name, const QString& timeText, const TRichDocument& content,
                                 bool incoming, bool flash) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    const QTextCharFormat plain; // the window-text colour
    if (!document()->isEmpty()) cursor.insertBlock(QTextBlockFormat(), plain);
    QTextCharFormat header;
    header.setForeground(incoming ? IncomingHeaderColour() : OwnHeaderColour());
    cursor.insertText(FormatText(QStringLiteral("%s %s"), {name, timeText}), header);
    cursor.insertBlock(QTextBlockFormat(), plain);
    InsertDocumentAt(cursor, content);
    // The empty line after each message.
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    QWidget* window = this->window();
    if (flash && (!window->isActiveWindow() || window->isMinimized())) QApplication::alert(window);
}
