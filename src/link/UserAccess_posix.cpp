#include "UserAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xlt::link {

std::string groupOfNode(const std::string &devicePath)
{
    struct stat info
    {
    };
    if (::stat(devicePath.c_str(), &info) != 0)
        return {};
    if (const group *entry = ::getgrgid(info.st_gid))
        return entry->gr_name;
    return {};
}

std::string currentUserName()
{
    const passwd *user = ::getpwuid(::geteuid());
    return user ? user->pw_name : "";
}

bool mayReadWrite(const std::string &devicePath)
{
    return ::access(devicePath.c_str(), R_OK | W_OK) == 0;
}

} // namespace xlt::link
