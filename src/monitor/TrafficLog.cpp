#include "TrafficLog.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <QByteArray>

namespace xlt::monitor {

namespace {

#ifdef Q_OS_WIN
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool endsWithSeparator(const QString &dir)
{
    const QChar last = dir.back();
    return last == QLatin1Char('/') || last == QLatin1Char(kSeparator);
}

// A directory that already ends with a separator (a drive root, "/") gets no second one; an
// empty one means the current directory.
QString joinPath(const QString &dir, const QString &fileName)
{
    if (dir.isEmpty())
        return fileName;
    if (endsWithSeparator(dir))
        return dir + fileName;
    return dir + QLatin1Char(kSeparator) + fileName;
}

std::string failure(const QString &path, const QString &reason)
{
    return "The log file " + core::fromQString(path) +
           " could not be written: " + core::fromQString(reason);
}

// Appends only: whatever the file already holds is never truncated, and a failed write is cut
// back to where this append began.
std::string appendLines(const QString &path, const std::vector<std::string> &lines)
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

TrafficLog::TrafficLog(QString logDir, const std::string &baseName)
    : m_dir(std::move(logDir))
    , m_base(core::toQString(baseName))
{}

QString TrafficLog::targetPath() const
{
    return joinPath(m_dir, m_base + QStringLiteral(".tgt"));
}

QString TrafficLog::hostPath() const
{
    return joinPath(m_dir, m_base + QStringLiteral(".xlt"));
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
