#pragma once

// Runs the built xltctl as a program, with its own emulator registry and settings folder.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace xlt::test {

struct XltctlOutcome
{
    int code = -1; ///< the exit code; -1 when it crashed or did not end
    std::string out;
    std::string err;
};

inline XltctlOutcome runXltctl(const QString &registry, const QString &configHome,
                               const QStringList &args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XLT_SIM_DIR", registry);
    env.insert("XDG_CONFIG_HOME", configHome);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), args);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(60000);
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

} // namespace xlt::test
