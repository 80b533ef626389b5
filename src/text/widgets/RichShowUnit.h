#pragma once

#include "text/widgets/RichEditUnit.h"

// The conversation pane of a chat window (RichShow): read-only, each message
// appended under a coloured header line.
class TRichChatPane : public TRichEdit {
    Q_OBJECT
public:
    explicit TRichChatPane(TApplicationParams& params, QWidget* parent = nullptr);

    // Header colours: blue for a message that came in, green for an own one.
    static QColor IncomingHeaderColour() { return QColor(0x00, 0x00, 0xFF); }
    static QColor OwnHeaderColour() { return QColor(0x00, 0x80, 0x00); }

    // Appends the header "name time" in the header colour, the content in its
    // own formats (text without a colour of its own in the window-text
    // colour) and an empty line; the caret goes to the end. With flash, a
    // window that is not active or is minimised asks for attention.
    void AppendToChat(const QString& name, const QString& timeText, const TRichDocument& content, bool incoming,
                      bool flash);
};
