#include "TrafficLog.h"

#include "core/Text.h"

#include <QByteArray>
#include <QFile>

namespace xlt::monitor {

namespace {

#ifdef Q_OS_WIN
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool endsWithSeparator(const std::string &dir)
{
    const char last = dir.back();
    return last == '/' || last == kSeparator;
}

// A directory that already ends with a separator (a drive root, "/") gets no second one; an
// empty one means the current directory.
std::string joinPath(const std::string &dir, const std::string &fileName)
{
    if (dir.empty())
        return fileName;
    if (endsWithSeparator(dir))
        return dir + fileName;
    return dir + kSeparator + fileName;
}

std::string failure(const std::string &path, const QString &reason)
{
    return "The log file " + path + " could not be written: " + core::fromQString(reason);
}

// Opens for appending only: whatever the file already holds is never truncated.
std::string appendLines(const std::string &path, const std::vector<std::string> &lines)
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

    QFile file(core::toQString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return failure(path, file.errorString());
    // Errors of a buffered write show at flush, not at write.
    if (file.write(data) != data.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        return failure(path, reason);
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failure(path, file.errorString());
    return {};
}

} // namespace

std::string TrafficLog::baseName(const QDateTime &when)
{
    return "XLT_log_ " + core::fromQString(when.toString(QStringLiteral("dd MM yyyy HH mm ss")));
}

TrafficLog::TrafficLog(std::string logDir, std::string baseName)
    : m_dir(std::move(logDir)), m_base(std::move(baseName))
{}

std::string TrafficLog::targetPath() const
{
    return joinPath(m_dir, m_base + ".tgt");
}

std::string TrafficLog::hostPath() const
{
    return joinPath(m_dir, m_base + ".xlt");
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
