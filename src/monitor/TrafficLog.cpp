#include "TrafficLog.h"

#include "CaptureFile.h"
#include "core/FileIo.h"
#include "core/Text.h"

#include <QByteArray>

namespace xlt::monitor {

namespace {

std::string failure(const std::filesystem::path &path, const QString &reason)
{
    return "The log file " + core::pathText(path) +
           " could not be written: " + core::fromQString(reason);
}

// Appends only: whatever the file already holds is never truncated, and a failed write is cut
// back to where this append began.
std::string appendLines(const std::filesystem::path &path, const std::vector<std::string> &lines)
{
    if (lines.empty())
        return {};
    qsizetype size = 0;
    for (const std::string &line : lines)
        size += static_cast<qsizetype>(line.size()) + 2;
    QByteArray data;
    data.reserve(size);
    for (const std::string &line : lines) {
        data.append(line.data(), static_cast<qsizetype>(line.size()));
        data.append("\r\n", 2);
    }

    QString reason;
    if (!core::appendWhole(path, data, &reason))
        return failure(path, reason);
    return {};
}

} // namespace

std::string TrafficLog::baseName(const QDateTime &when)
{
    return "XLT_log_ " + core::fromQString(when.toString(QStringLiteral("dd MM yyyy HH mm ss")));
}

TrafficLog::TrafficLog(std::filesystem::path logDir, std::string baseName)
    : m_dir(std::move(logDir))
    , m_base(std::move(baseName))
{}

std::filesystem::path TrafficLog::targetPath() const
{
    return m_dir / (m_base + ".tgt");
}

std::filesystem::path TrafficLog::hostPath() const
{
    return m_dir / (m_base + ".xlt");
}

std::filesystem::path TrafficLog::capturePath() const
{
    return m_dir / (m_base + kCaptureExtension);
}

std::string TrafficLog::appendTarget(const std::vector<std::string> &lines)
{
    return appendLines(targetPath(), lines);
}

std::string TrafficLog::appendHost(const std::vector<std::string> &lines)
{
    return appendLines(hostPath(), lines);
}

} // namespace xlt::monitor
