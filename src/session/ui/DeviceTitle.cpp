#include "DeviceTitle.h"

#include "core/Text.h"

#include <QVariant>

namespace xlt::session {

void showDevicePort(QWidget &window, const std::string &port)
{
    static constexpr const char *kOwnTitle = "xltOwnTitle";
    QVariant own = window.property(kOwnTitle);
    if (!own.isValid()) {
        own = window.windowTitle();
        window.setProperty(kOwnTitle, own);
    }
    const QString title = own.toString();
    window.setWindowTitle(port.empty() ? title
                                       : title + QStringLiteral(" - ") + core::toQString(port));
}

} // namespace xlt::session
