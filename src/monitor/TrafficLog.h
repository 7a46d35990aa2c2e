#pragma once

#include <QDateTime>
#include <filesystem>
#include <string>
#include <vector>

namespace xlt::monitor {

/// The two log files of one monitor run: LogPath/<base>.tgt (target side) and
/// LogPath/<base>.xlt (host side). Each append opens the file, writes whole lines ended by CRLF
/// (Latin-1 bytes) and closes it, so nothing stays open between replies. One append's lines
/// reach the file whole or not at all: a write that fails part way (a full disk) is cut back,
/// so the five-line records stay whole. The folder is a path of any bytes; a log name that is a
/// link, a pipe or a device is refused and never written through.
class TrafficLog
{
public:
    /// "XLT_log_ dd mm yyyy hh mm ss" for the moment Run was pressed.
    static std::string baseName(const QDateTime &when);

    TrafficLog(std::filesystem::path logDir, std::string baseName);

    std::filesystem::path targetPath() const;
    std::filesystem::path hostPath() const;
    /// The run's capture file beside its logs: LogPath/<base>.xltcap (see CaptureFile.h).
    std::filesystem::path capturePath() const;

    /// Appends the lines (none: nothing is done, no file is created). Returns an empty string
    /// on success, otherwise a message naming the file and the reason.
    std::string appendTarget(const std::vector<std::string> &lines);
    std::string appendHost(const std::vector<std::string> &lines);

private:
    std::filesystem::path m_dir;
    std::string m_base;
};

} // namespace xlt::monitor
