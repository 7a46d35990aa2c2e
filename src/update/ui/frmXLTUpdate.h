#pragma once

#include <QWidget>

namespace xlt::app { struct Session; }

namespace xlt::update {

/// Placeholder window; its subsystem fills it in.
class frmXLTUpdate : public QWidget
{
    Q_OBJECT
public:
    explicit frmXLTUpdate(app::Session &session, QWidget *parent = nullptr);

private:
    app::Session &m_session;
};

} // namespace xlt::update
