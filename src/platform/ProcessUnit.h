#pragma once

#include <QtGlobal>

namespace Platform {

// Whether a process of this id still runs (a zombie counts as ended).
bool ProcessAlive(qint64 pid);

} // namespace Platform
