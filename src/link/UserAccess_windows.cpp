#include "UserAccess.h"

namespace xlt::link {

// A COM port has no owning group to join on Windows, and its only refusal, access denied,
// means another program holds it: there is nothing to find out about the user.

std::string groupOfNode(const std::string & /*devicePath*/)
{
    return {};
}

std::string currentUserName()
{
    return {};
}

bool mayReadWrite(const std::string & /*devicePath*/)
{
    return true;
}

} // namespace xlt::link
