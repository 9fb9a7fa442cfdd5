#include "support/ChildHelper.h"

#include <QDir>

#include <cerrno>
#include <sys/wait.h>

QString ChildHelper::path()
{
    return QStringLiteral(TRAWLIX_TEST_HELPER_DIR "/trawlix_test_child");
}

ToolCommand ChildHelper::command(const QString& mode)
{
    return ToolCommand{path(), {mode}};
}

int ChildHelper::openDescriptorCount()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

bool ChildHelper::hasNoChildren()
{
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}
