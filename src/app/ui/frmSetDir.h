#pragma once

#include <QDialog>

namespace xlt::app {
struct Session;

/// Placeholder of the log directory chooser; the traffic monitor fills it in.
class frmSetDir : public QDialog
{
    Q_OBJECT
public:
    explicit frmSetDir(Session &session, QWidget *parent = nullptr);

private:
    Session &m_session;
};

} // namespace xlt::app
