// Why a port did not open: the serial link's reading of QSerialPort's errors, the holder of a
// busy port, and the message the user gets.
#include "link/OpenFailure.h"
#include "link/SerialLinkQt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xlt::link;

namespace {

TEST(OpenFailure, QSerialPortErrorsReadAsReasons)
{
    using E = QSerialPort::SerialPortError;
    using K = OpenFailureKind;
    const std::tuple<E, bool, K> rows[] = {
        {E::NoError, true, K::None},
        {E::PermissionError, false, K::PermissionDenied},
        // A lock file or exclusive use by another program also reads as a permission error.
        {E::PermissionError, true, K::Busy},
        {E::OpenError, true, K::Busy},
        {E::ResourceError, true, K::Busy},
        {E::DeviceNotFoundError, false, K::Vanished},
        {E::UnknownError, true, K::Other},
        {E::UnsupportedOperationError, true, K::Other},
    };
    for (const auto &[error, accessible, kind] : rows)
        EXPECT_EQ(openFailureKind(error, accessible), kind) << int(error) << " " << accessible;
}

TEST(OpenFailure, MessagesSayWhyAndWhatToDo)
{
    using K = OpenFailureKind;
    const PortHolder modemManager{812, "ModemManager"};
    const PortHolder terminal{4711, "picocom"};
    // Rows: the kind, the port's group, its holder, what the message says (empty: no message).
    const std::tuple<K, std::string, std::optional<PortHolder>, std::vector<std::string>> rows[] = {
        {K::None, "dialout", std::nullopt, {}},
        {K::NoSuchPort, "dialout", std::nullopt, {}},
        {K::Vanished, "dialout", std::nullopt, {}},
        {K::PermissionDenied,
         "dialout",
         std::nullopt,
         {"COM65 (/dev/ttyACM0)", "permission denied", "sudo adduser ann dialout", "70-xlt.rules"}},
        {K::PermissionDenied, "uucp", std::nullopt, {"join the group uucp"}},
        {K::PermissionDenied, "root", std::nullopt, {"join the group dialout"}},
        {K::PermissionDenied, "", std::nullopt, {"join the group dialout"}},
        {K::Busy, "dialout", terminal, {"in use by picocom (process 4711)", "Close that program"}},
        {K::Busy,
         "dialout",
         modemManager,
         {"in use by ModemManager (process 812)", "systemctl stop ModemManager"}},
        {K::Busy, "dialout", PortHolder{99, ""}, {"in use by a program (process 99)"}},
        {K::Busy, "dialout", std::nullopt, {"another program is using it", "ModemManager"}},
        {K::Other, "dialout", std::nullopt, {"COM65 (/dev/ttyACM0): Input/output error."}},
    };
    for (const auto &[kind, group, holder, saying] : rows) {
        const OpenFailure failure{kind,  "/dev/ttyACM0", "COM65", "Input/output error",
                                  group, "ann"};
        const std::string text = openFailureText(failure, holder);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.empty(), saying.empty()) << int(kind);
        QString lower = QString::fromStdString(text).toLower();
        for (const std::string &part : saying)
            EXPECT_TRUE(lower.contains(QString::fromStdString(part).toLower())) << part;
    }
}

TEST(OpenFailure, LockFileNames)
{
    const std::pair<const char *, const char *> rows[] = {
        {"/dev/ttyACM0", "LCK..ttyACM0"},
        {"/dev/pts/3", "LCK..pts_3"},
        {"/dev/serial/by-id/usb-x", "LCK..serial_by-id_usb-x"},
        {"ttyUSB1", "LCK..ttyUSB1"},
    };
    for (const auto &[path, name] : rows)
        EXPECT_EQ(lockFileName(path), name);
}

/// A made-up /proc and lock directory.
struct FakeSystem
{
    QTemporaryDir root;
    QString proc = root.filePath(QStringLiteral("proc"));
    QString locks = root.filePath(QStringLiteral("lock"));
    std::string node = root.filePath(QStringLiteral("ttyACM0")).toStdString();

    FakeSystem()
    {
        QDir().mkpath(locks);
        QFile(QString::fromStdString(node)).open(QIODevice::WriteOnly);
    }
    void process(long pid, const char *comm, const std::vector<std::string> &fds)
    {
        const QString dir = proc + "/" + QString::number(pid);
        QDir().mkpath(dir + "/fd");
        QFile file(dir + "/comm");
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(comm) + "\n");
        int n = 0;
        for (const std::string &target : fds)
            QFile::link(QString::fromStdString(target), dir + "/fd/" + QString::number(n++));
    }
    void lock(const std::string &content)
    {
        QFile file(locks + "/" + QString::fromStdString(lockFileName(node)));
        file.open(QIODevice::WriteOnly);
        file.write(content.c_str());
    }
    std::optional<PortHolder> find(long ownPid = 0)
    {
        return findPortHolder(node, {proc.toStdString(), {locks.toStdString()}, ownPid});
    }
};

// (A lock file of a live xltctl names it: tests/cli/test_port_messages.sh, busy.)
TEST(OpenFailure, HolderFromTheOpenDescriptorsWhenTheLockIsStale)
{
    {
        SCOPED_TRACE("UUCP lock of a dead process: the descriptors tell");
        FakeSystem sys;
        sys.lock("    999999\n");
        sys.process(200, "bash", {"/dev/null", "/dev/pts/1"});
        sys.process(300, "ModemManager", {"/dev/null", sys.node});
        const auto holder = sys.find();
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder->pid, 300);
        EXPECT_EQ(holder->program, "ModemManager");
    }
    {
        SCOPED_TRACE("only this process has it open, or nobody");
        FakeSystem sys;
        sys.process(300, "xlt", {sys.node});
        sys.process(301, "bash", {"/dev/null"});
        EXPECT_FALSE(sys.find(300));
        EXPECT_TRUE(sys.find(0));
    }
}

} // namespace
