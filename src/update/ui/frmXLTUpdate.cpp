#include "frmXLTUpdate.h"

#include "app/Session.h"

namespace xlt::update {

frmXLTUpdate::frmXLTUpdate(app::Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmXLTUpdate"));
    setWindowTitle(QStringLiteral("Update XLT OS"));
}

} // namespace xlt::update
