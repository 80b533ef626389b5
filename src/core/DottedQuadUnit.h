#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// IPv4 addresses as text: the one reader and writer of "a.b.c.d" in the program.

// Exactly four dot-separated pieces of one to three decimal digits, each
// 0..255; blanks around the whole text are allowed, anything else is not
// ("1.2.3.4.5", "1..2.3", "256.1.1.1" and "+1.2.3.4" all fail). The address
// in host order (a << 24 | b << 16 | c << 8 | d).
std::optional<quint32> ParseDottedQuad(QStringView text);

// The address in host order as "a.b.c.d", no leading zeros.
QString FormatDottedQuad(quint32 address);
