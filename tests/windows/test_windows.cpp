// The Windows pieces, cross-built and run under Wine by scripts/check-windows.sh: the registry's
// ports, the Win32 line's settings and open failures, and (WineCom) the Win32 link against the
// emulator on the Wine COM port whose number the script passes in XLT_TEST_COM.
#include "cli/ChildProcesses.h"
#include "link/DeviceContext.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "link/Win32Serial.h"
#include "link/WindowsPorts.h"
#include "link/XLT_protocol.h"
#include "support/RecordingNotifier.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <tuple>

using namespace xlt;
using namespace xlt::link;
using Texts = std::vector<std::string>;

TEST(WindowsPorts, RegistryValuesWithOrWithoutTheirTerminatingZero)
{
    const char *key = "SOFTWARE\\XLT-tests\\SERIALCOMM";
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    const auto put = [handle](const wchar_t *name, const std::wstring &data, std::size_t chars,
                              DWORD type) {
        RegSetValueExW(handle, name, 0, type, reinterpret_cast<const BYTE *>(data.c_str()),
                       static_cast<DWORD>(chars * sizeof(wchar_t)));
    };
    put(L"\\Device\\USBSER000", L"COM5", 5, REG_SZ); // with its terminating zero
    // Without it: a zero right after the data would be added by the system, an X is not.
    put(L"\\Device\\USBSER001", L"COM17X", 5, REG_SZ);
    put(L"\\Device\\Serial0", L"COM1", 5, REG_BINARY); // not a text
    put(L"\\Device\\VCP0", std::wstring(300, L'9'), 301, REG_SZ);
    put(L"\\Device\\VCP1", L"COM2", 5, REG_SZ);
    RegCloseKey(handle);

    Texts seen;
    for (const PortRecord &record : registrySerialPorts(key))
        seen.push_back(record.objectName + "=" + record.portName + "@" + record.devicePath);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen,
              (Texts{"\\Device\\USBSER000=COM5@\\\\.\\COM5",
                     "\\Device\\USBSER001=COM17@\\\\.\\COM17", "\\Device\\VCP1=COM2@\\\\.\\COM2"}));
    EXPECT_TRUE(registrySerialPorts("SOFTWARE\\XLT-tests\\None").empty());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\XLT-tests");
}

TEST(Win32Serial, LineSettingsTimeOutsAndOpenFailures)
{
    DCB dcb{};
    dcb.ByteSize = 7;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = dcb.fOutX = dcb.fInX = dcb.fAbortOnError = TRUE;
    win32::setLineSettings(dcb, 9600);
    EXPECT_EQ(std::make_tuple(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits),
              std::make_tuple(DWORD{9600}, BYTE{8}, BYTE{NOPARITY}, BYTE{ONESTOPBIT}));
    using Flags = std::vector<DWORD>;
    EXPECT_EQ((Flags{dcb.fBinary, dcb.fParity, dcb.fOutxCtsFlow, dcb.fOutxDsrFlow, dcb.fOutX,
                     dcb.fInX, dcb.fDtrControl, dcb.fRtsControl, dcb.fAbortOnError}),
              (Flags{1, 0, 0, 0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0}));

    // A read returns what has come, or waits for the first bytes at most as long as asked;
    // neither time-out is ever 0 ("wait for ever" for a write, "never wait" for a read).
    const COMMTIMEOUTS t = win32::lineTimeouts(20, 3000);
    EXPECT_EQ(std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                              t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                              t.WriteTotalTimeoutConstant),
              std::make_tuple(MAXDWORD, MAXDWORD, DWORD{20}, DWORD{0}, DWORD{3000}));
    const COMMTIMEOUTS none = win32::lineTimeouts(0, 0);
    EXPECT_EQ(std::pair(none.ReadTotalTimeoutConstant, none.WriteTotalTimeoutConstant),
              std::pair(DWORD{1}, DWORD{1}));

    const std::pair<DWORD, OpenFailureKind> kinds[] = {
        {ERROR_ACCESS_DENIED, OpenFailureKind::Busy},
        {ERROR_SHARING_VIOLATION, OpenFailureKind::Busy},
        {ERROR_FILE_NOT_FOUND, OpenFailureKind::Vanished},
        {ERROR_INVALID_PARAMETER, OpenFailureKind::Other},
    };
    for (const auto &[error, kind] : kinds)
        EXPECT_EQ(win32::openFailureKind(error), kind) << error;
    // Windows does not say which program holds a port (and Wine lets two programs open one).
    OpenFailure busy{OpenFailureKind::Busy, R"(\\.\COM5)", "COM5", "Access denied", "", ""};
    EXPECT_EQ(windowsOpenFailureText(busy).rfind("XLT cannot open the port COM5: access denied. "
                                                 "Another program is probably using the port",
                                                 0),
              0u);
    EXPECT_NE(windowsOpenFailureText(busy).find("Windows does not tell which program"),
              std::string::npos);
    busy.kind = OpenFailureKind::Vanished;
    EXPECT_EQ(windowsOpenFailureText(busy), "");
}

// Fleet work's runs of the program: this test program starts itself with words that need
// quoting, runs only the child's test below, and gets back what the C runtime made of them.
TEST(ChildProcesses, ArgumentsArriveWordForWordAndBothOutputsAndExitCodesComeBack)
{
    const cli::Args words{
        "a b",        "",     "tab\there", "say \"hi\"", "C:\\dir with space\\", "back\\\\\"slash",
        "trailing\\", "plain"};
    const auto run = [](const char *test, const cli::Args &more) {
        cli::Args argv{"windows_tests", std::string("--gtest_filter=ChildProcessesChild.") + test,
                       "--gtest_also_run_disabled_tests"};
        argv.insert(argv.end(), more.begin(), more.end());
        return argv;
    };
    std::vector<std::array<std::string, 2>> outputs(2);
    std::vector<int> ended(2, 0);
    const std::vector<int> codes = cli::runChildren(
        {run("DISABLED_Echo", words), run("DISABLED_Fail", {})},
        [&](std::size_t i, int stream, std::string_view data) {
            outputs.at(i).at(std::size_t(stream)).append(data);
        },
        [&](std::size_t i) { ++ended.at(i); });
    ASSERT_EQ(codes, (std::vector<int>{0, 1}));
    EXPECT_EQ(ended, (std::vector<int>{1, 1}));
    std::string echoed;
    for (const std::string &word : words)
        echoed += "[" + word + "]";
    // A Windows program's standard error is in text mode: its lines end in CR LF.
    EXPECT_EQ(outputs[0][1], echoed + "\r\n");
    EXPECT_NE(outputs[0][0].find("[  PASSED  ] 1 test"), std::string::npos) << outputs[0][0];
    EXPECT_NE(outputs[1][0].find("[  FAILED  ]"), std::string::npos) << outputs[1][0];
}

TEST(ChildProcessesChild, DISABLED_Echo)
{
    const std::vector<std::string> argv = ::testing::internal::GetArgvs();
    std::string echoed;
    for (std::size_t i = 3; i < argv.size(); ++i)
        echoed += "[" + argv[i] + "]";
    std::fprintf(stderr, "%s\n", echoed.c_str());
}

TEST(ChildProcessesChild, DISABLED_Fail)
{
    FAIL() << "the run that fails";
}

/// The emulator on a Wine COM port that the registry lists as a USB serial device.
class WineCom : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *port = std::getenv("XLT_TEST_COM");
        ASSERT_NE(port, nullptr) << "run by scripts/check-windows.sh beside the emulator";
        number = static_cast<std::uint8_t>(std::atoi(port));
        packet.PortNumber = number;
        packet.BaudRate = kBaudRate;
        packet.Timeout = 400;
        packet.CommandLength = 1;
    }
    std::uint8_t send(std::uint8_t code)
    {
        packet.CommandData[0] = code;
        link.XLTSendCommand(packet);
        return packet.ReplyStatus;
    }

    std::uint8_t number = 0;
    XLTPacket packet;
    std::unique_ptr<PortSource> ports = makeSystemPortSource();
    SerialLink link{*ports};
    test::RecordingNotifier notifier;
    InlineLine line{link};
    DeviceContext context{line, *ports, notifier};
};

TEST_F(WineCom, DiscoveryIdentityAndConfigurationThroughTheRegistry)
{
    EXPECT_EQ(FindXLTPort(*ports), number);
    const auto read = runToEnd<Texts>(context, "test", [](Flow &flow) {
        Texts out;
        if (FindXLTPort(flow) && ReadXLTVersion(flow, flow.CmdPacket))
            out.push_back(replyText(flow.CmdPacket));
        if (ReadXLTConfig(flow, flow.CmdPacket))
            out.push_back(replyText(flow.CmdPacket));
        return out;
    });
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 2u) << testing::PrintToString(notifier.texts());
    EXPECT_EQ(read->at(0), "PR01 01230001");
    EXPECT_EQ(read->at(1).size(), kConfigBlockSize);
    EXPECT_EQ(read->at(1).substr(0, 21), "PR01 ID003 XLT V01.23");
    EXPECT_EQ(read->at(1)[80], 0x61);
}

// The emulator leaves command 22 unanswered: the wait ends at the packet's time-out, and the
// line still serves the next command (a late reply would be told apart by its sequence bit).
TEST_F(WineCom, TimeOutThenTheNextReplyThenAClosedPort)
{
    ASSERT_EQ(link.OpenXLTComPort(packet), 1) << link.openFailureText();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send(kCmdDetectPoll), CommandTimeOut);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(400));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    EXPECT_EQ(send(kCmdReadVersion), ReplyOk);
    EXPECT_EQ(replyText(packet), "PR01 01230001");

    link.CloseXLTComPort();
    EXPECT_EQ(send(kCmdReadVersion), ComPortClosed);
    packet.PortNumber = 250; // not listed: the device went away, silently
    EXPECT_EQ(link.OpenXLTComPort(packet), 0);
    EXPECT_EQ(link.lastOpenFailure().kind, OpenFailureKind::NoSuchPort);
    EXPECT_EQ(link.openFailureText(), "");
}
