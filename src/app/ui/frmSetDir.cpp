#include "frmSetDir.h"

#include "app/Session.h"

namespace xlt::app {

frmSetDir::frmSetDir(Session &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmSetDir"));
    setWindowTitle(QStringLiteral("Set Directory"));
}

} // namespace xlt::app
