#include "base/OpenFileScan.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

namespace {

bool isNumber(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

} // namespace

OpenFileScan::OpenFileScan()
{
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return;
    while (const dirent* process = ::readdir(processes)) {
        if (!isNumber(process->d_name))
            continue;
        const std::string folder = std::string("/proc/") + process->d_name + "/fd";
        DIR* descriptors = ::opendir(folder.c_str());
        if (!descriptors)
            continue;
        while (const dirent* descriptor = ::readdir(descriptors)) {
            if (!isNumber(descriptor->d_name))
                continue;
            struct stat info
            {
            };
            // stat() follows the link to the open file itself, also when it was renamed.
            if (::stat((folder + '/' + descriptor->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                m_open.insert({static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)});
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
}

bool OpenFileScan::isOpen(const QString& path) const
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return m_open.contains({static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)});
}
