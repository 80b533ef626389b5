#include "platform/FileLimitUnit.h"

#include <limits>

#include <sys/resource.h>

namespace Platform {

qint64 RaiseOpenFileLimit(qint64 wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur != RLIM_INFINITY && rlim_t(wanted) > limit.rlim_cur) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? rlim_t(wanted) : qMin(rlim_t(wanted), limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : qint64(limit.rlim_cur);
}

} // namespace Platform
