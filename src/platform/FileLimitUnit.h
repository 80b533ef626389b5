#pragma once

#include <QtGlobal>

namespace Platform {

// Raises this process's soft limit of open files towards wanted (never above
// the hard limit, never lowers it); returns the soft limit in force after.
qint64 RaiseOpenFileLimit(qint64 wanted);

} // namespace Platform
