#include "frmSetID003.h"

#include "app/Session.h"

namespace xlt::pr01 {

frmSetID003::frmSetID003(app::Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmSetID003"));
    setWindowTitle(QStringLiteral("Set XLT PR01 Configuration Data"));
}

} // namespace xlt::pr01
