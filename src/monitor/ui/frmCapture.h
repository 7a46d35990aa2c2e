#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <thread>
#include <vector>

namespace Ui {
class frmCapture;
}

namespace xlt::core {
class Notifier;
}

namespace xlt::monitor {

class CaptureIndex;
class ListFilter;

/// A capture file opened for analysis: the monitor window's three lists (target, host,
/// timeline) with their filters and counts, F3, CRC marks, reply times, the reply-time plot and
/// the exports, over the capture's records (CaptureIndex) instead of a run, and the capture's
/// header above them. No port is used and no list is capped. The file is read and listed on a
/// thread of its own: the first replies are shown as soon as they are listed, then the rest.
/// A file that is refused is told through the notifier and the window closes.
class frmCapture : public QWidget
{
    Q_OBJECT
public:
    frmCapture(core::Notifier &notifier, const QString &path, QWidget *parent = nullptr);
    ~frmCapture() override;

    const QString &path() const { return m_path; }
    /// True once every record of the file is listed.
    bool complete() const { return m_complete; }

signals:
    /// The first screen (`whole` false) or every record (`whole` true) is listed.
    void listed(bool whole);
    /// The file was refused; the window closes.
    void refused();

private:
    void showIndex(std::shared_ptr<const CaptureIndex> index, bool whole);
    void plotTail();

    std::unique_ptr<Ui::frmCapture> ui;
    core::Notifier &m_notifier;
    QString m_path;
    std::shared_ptr<const CaptureIndex> m_index;
    std::vector<ListFilter *> m_filters;
    bool m_complete = false;
    std::jthread m_reader; ///< last: joined before the members its deliveries use go
};

} // namespace xlt::monitor
