#include "frmOptions.h"

#include "app/Session.h"

namespace xlt::options {

frmOptions::frmOptions(app::Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Set XLT Options"));
}

} // namespace xlt::options
