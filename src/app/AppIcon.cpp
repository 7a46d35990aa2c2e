#include "AppIcon.h"

namespace xlt::app {

QIcon appIcon()
{
    return QIcon(QStringLiteral(":/icons/xlt.svg"));
}

} // namespace xlt::app
