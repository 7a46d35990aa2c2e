#include "frmMonitor.h"

#include "app/Session.h"

namespace xlt::monitor {

frmMonitor::frmMonitor(app::Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmMonitor"));
    setWindowTitle(QStringLiteral("XLT communications monitor"));
}

} // namespace xlt::monitor
