#include "link/SimRegistry.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace xlt::link;
namespace fs = std::filesystem;

namespace {

/// The pid of a process that has ended (a reaped child), for stale entries.
pid_t deadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeEntry(const std::string &dir, int k, const std::string &content)
{
    std::ofstream(dir + "/port-" + std::to_string(k), std::ios::binary) << content;
}

/// Sets an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const char *value)
        : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

class SimRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    std::string dir() const { return tmp.path().toStdString() + "/reg"; }
    QTemporaryDir tmp;
};

} // namespace

TEST(SimRegistryDir, Precedence)
{
    const std::string fallback = "/tmp/xlt-sim-" + std::to_string(::getuid());
    struct Row
    {
        const char *simDir;
        const char *runtimeDir;
        std::string expected;
    };
    const Row rows[] = {
        {"/x/sim", "/run/user/7", "/x/sim"},
        {nullptr, "/run/user/7", "/run/user/7/xlt-sim"},
        {"", "/run/user/7", "/run/user/7/xlt-sim"},
        {nullptr, nullptr, fallback},
    };
    for (const Row &row : rows) {
        ScopedEnv sim("XLT_SIM_DIR", row.simDir);
        ScopedEnv runtime("XDG_RUNTIME_DIR", row.runtimeDir);
        EXPECT_EQ(simRegistryDir(), row.expected);
    }
}

TEST_F(SimRegistryTest, RegisterListAndRemove)
{
    {
        auto first = SimPortRegistration::create(dir(), "/dev/null");
        ASSERT_TRUE(first);
        EXPECT_EQ(first->index(), 0);
        struct stat info
        {
        };
        ASSERT_EQ(::stat(dir().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_EQ(readAll(dir() + "/port-0"), std::to_string(::getpid()) + "\t/dev/null\n");

        auto second = SimPortRegistration::create(dir(), "/dev/zero");
        ASSERT_TRUE(second);
        EXPECT_EQ(second->index(), 1);
        using Ports = std::vector<std::pair<int, std::string>>;
        EXPECT_EQ(readSimPorts(dir()), (Ports{{0, "/dev/null"}, {1, "/dev/zero"}}));

        first->unregister();
        EXPECT_FALSE(fs::exists(dir() + "/port-0"));
        EXPECT_EQ(readSimPorts(dir()), (Ports{{1, "/dev/zero"}}));

        // The lowest free index is taken again.
        auto third = SimPortRegistration::create(dir(), "/dev/full");
        ASSERT_TRUE(third);
        EXPECT_EQ(third->index(), 0);

        // Moving hands the file over; the moved-from object removes nothing.
        SimPortRegistration moved = std::move(*third);
        third.reset();
        EXPECT_TRUE(fs::exists(dir() + "/port-0"));
    }
    EXPECT_TRUE(readSimPorts(dir()).empty());
    EXPECT_FALSE(fs::exists(dir() + "/port-1"));
}

TEST_F(SimRegistryTest, StaleAndBrokenEntriesAreSkippedAndReclaimed)
{
    fs::create_directories(dir());
    const std::string me = std::to_string(::getpid());
    writeEntry(dir(), 0, std::to_string(deadPid()) + "\t/dev/null\n"); // emulator gone
    writeEntry(dir(), 1, me + "\t/dev/pts/no-such-device\n");          // device gone
    writeEntry(dir(), 2, "garbage\n");
    writeEntry(dir(), 3, me + "\t/dev/null\n");
    writeEntry(dir(), 4, me + "/dev/null\n");
    writeEntry(dir(), 200, me + "\t/dev/null\n"); // beyond the last index

    using Ports = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(readSimPorts(dir()), (Ports{{3, "/dev/null"}}));

    auto reclaimed = SimPortRegistration::create(dir(), "/dev/zero");
    ASSERT_TRUE(reclaimed);
    EXPECT_EQ(reclaimed->index(), 0);
    // A live emulator's entry is never taken over, even when its device is missing.
    auto next = SimPortRegistration::create(dir(), "/dev/zero");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->index(), 2);
}

TEST_F(SimRegistryTest, FullRegistryRefuses)
{
    fs::create_directories(dir());
    for (int k = 0; k < kMaxSimPorts; ++k)
        writeEntry(dir(), k, std::to_string(::getpid()) + "\t/dev/null\n");
    EXPECT_FALSE(SimPortRegistration::create(dir(), "/dev/zero"));
    EXPECT_EQ(readSimPorts(dir()).size(), std::size_t(kMaxSimPorts));
}

TEST_F(SimRegistryTest, UnusableInputsRefuse)
{
    EXPECT_FALSE(SimPortRegistration::create(dir(), "/dev/null\nport-9"));
    EXPECT_FALSE(SimPortRegistration::create(dir(), ""));
    EXPECT_FALSE(SimPortRegistration::create("/proc/no/such/dir", "/dev/null"));
    EXPECT_TRUE(readSimPorts("/proc/no/such/dir").empty());
}

TEST_F(SimRegistryTest, VirtualPortsListAfterKernelPortsAndAreFound)
{
    auto a = SimPortRegistration::create(dir(), "/dev/null");
    auto b = SimPortRegistration::create(dir(), "/dev/zero");
    ASSERT_TRUE(a && b);
    const auto records = simulatorPorts(dir());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].objectName, "\\Device\\USBSERV1");
    EXPECT_EQ(records[1].portName, "COM130");
    EXPECT_EQ(records[1].devicePath, "/dev/zero");

    ScopedEnv sim("XLT_SIM_DIR", dir().c_str());
    LinuxPortSource source(tmp.path().toStdString() + "/no-sysfs");
    EXPECT_EQ(FindXLTPort(source), 130);
    b->unregister();
    EXPECT_EQ(FindXLTPort(source), 129); // nothing cached
    a->unregister();
    EXPECT_EQ(FindXLTPort(source), 0);
}
