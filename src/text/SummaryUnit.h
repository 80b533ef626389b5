#pragma once

#include <QString>

// The summary sent with a message: of the first 255 characters of its plain
// text, line 1 (or "<space or object>" when it holds nothing but blanks and
// pictures), CR LF, line 2 (empty when there is none); no tabs.
QString MakeFirst2Line(const QString& plainText);
