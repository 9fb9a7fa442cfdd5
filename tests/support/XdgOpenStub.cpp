#include "support/XdgOpenStub.h"

#include <QDir>
#include <QFile>

namespace XdgOpenStub {

bool install(const QString& folder, QProcessEnvironment& environment)
{
    if (!QDir().mkpath(folder))
        return false;
    QFile stub(folder + QStringLiteral("/xdg-open"));
    if (!stub.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    stub.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$(dirname \"$0\")/xdg-open.log\"\nexit 0\n");
    stub.close();
    if (!stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return false;
    const QString path = environment.value(QStringLiteral("PATH"));
    environment.insert(QStringLiteral("PATH"), path.isEmpty() ? folder : folder + QLatin1Char(':') + path);
    return true;
}

} // namespace XdgOpenStub
