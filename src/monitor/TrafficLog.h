#pragma once

#include <QDateTime>

#include <string>
#include <vector>

namespace xlt::monitor {

/// The two log files of one monitor run: LogPath/<base>.tgt (target side) and
/// LogPath/<base>.xlt (host side). Each append opens the file, writes whole lines ended by CRLF
/// (Latin-1 bytes), flushes and closes it, so nothing stays open between replies.
class TrafficLog
{
public:
    /// "XLT_log_ dd mm yyyy hh mm ss" for the moment Run was pressed.
    static std::string baseName(const QDateTime &when);

    TrafficLog(std::string logDir, std::string baseName);

    std::string targetPath() const;
    std::string hostPath() const;

    /// Appends the lines (none: nothing is done, no file is created). Returns an empty string
    /// on success, otherwise a message naming the file and the reason.
    std::string appendTarget(const std::vector<std::string> &lines);
    std::string appendHost(const std::vector<std::string> &lines);

private:
    std::string m_dir;
    std::string m_base;
};

} // namespace xlt::monitor
