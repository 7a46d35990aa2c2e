#pragma once

#include <QWidget>
#include <string>

namespace xlt::session {

/// Names in `window`'s title the port it talks to: "<its title> - COM5" while `port` is not
/// empty, its own title again when it is. Its own title is the one it had at the first call.
void showDevicePort(QWidget &window, const std::string &port);

} // namespace xlt::session
