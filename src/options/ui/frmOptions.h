#pragma once

#include <QWidget>

namespace xlt::app { struct Session; }

namespace xlt::options {

/// Placeholder window; its subsystem fills it in.
class frmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit frmOptions(app::Session &session, QWidget *parent = nullptr);

private:
    app::Session &m_session;
};

} // namespace xlt::options
