#pragma once

#include <QWidget>

namespace xlt::app { struct Session; }

namespace xlt::pr01 {

/// Placeholder window; its subsystem fills it in.
class frmSetID003 : public QWidget
{
    Q_OBJECT
public:
    explicit frmSetID003(app::Session &session, QWidget *parent = nullptr);

private:
    app::Session &m_session;
};

} // namespace xlt::pr01
