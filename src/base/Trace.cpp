#include "base/Trace.h"

#include "base/UntrustedText.h"

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
    // Traces quote network text; the terminal acts on none of it.
    std::fprintf(stderr, "trace: %s\n", UntrustedText::forTerminal(text).toUtf8().constData());
}
