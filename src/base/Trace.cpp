#include "base/Trace.h"

#include <QMutex>

#include <cstdio>

namespace {

bool traceEnabled()
{
    static const bool enabled = !qEnvironmentVariableIsEmpty("TRAWLIX_TRACE");
    return enabled;
}

} // namespace

void trace(const QString& text)
{
    if (!traceEnabled())
        return;
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    std::fprintf(stderr, "trace: %s\n", text.toUtf8().constData());
}
