#include "DeviceContext.h"

namespace xlt::link {

bool refuseWhileHeld(DeviceContext &context)
{
    if (context.holder.empty())
        return false;
    context.notifier.message(core::Icon::Exclamation, "The XLT device is in use by the " +
                                                          context.holder +
                                                          ". Stop it first, then try again.");
    return true;
}

} // namespace xlt::link
