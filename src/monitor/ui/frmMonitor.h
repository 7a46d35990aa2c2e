#pragma once

#include <QWidget>

namespace xlt::app { struct Session; }

namespace xlt::monitor {

/// Placeholder window; its subsystem fills it in.
class frmMonitor : public QWidget
{
    Q_OBJECT
public:
    explicit frmMonitor(app::Session &session, QWidget *parent = nullptr);

private:
    app::Session &m_session;
};

} // namespace xlt::monitor
