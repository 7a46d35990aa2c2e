// Fuzzes the listing of one capture-read reply. Input: the reply bytes (the first 255 are used).
// The command record lives alone on the heap, so a read past ReplyData trips AddressSanitizer; the
// reply is listed twice with different leftovers past ReplyLength, and both listings must agree,
// so a read of those leftovers is caught as well. Each listed frame's CRC is checked as the
// monitor window checks it, under the same rules.
#include "FuzzCheck.h"
#include "monitor/TrafficAnalysis.h"
#include "monitor/TrafficListing.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace xlt;

namespace {

using Lines = std::vector<std::string>;

class RecordingList final : public monitor::LineList
{
public:
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override { lines.push_back(line); }
    void selectLast() override {}
    void recordDone(const monitor::ListedRecord &record) override
    {
        verdicts.push_back(record.complete ? monitor::checkFrameCrc(record.frame)
                                           : monitor::CrcVerdict::Unchecked);
    }
    Lines lines;
    std::vector<monitor::CrcVerdict> verdicts;
};

class Label final : public monitor::TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

struct Listed
{
    monitor::TrafficListing::Added added;
    Lines target;
    Lines host;
    std::vector<monitor::CrcVerdict> verdicts;
    std::string lblTarget;
    std::string lblHost;
};

Listed listOnce(const std::uint8_t *data, std::size_t size, std::uint8_t leftover)
{
    auto packet = std::make_unique<link::XLTPacket>();
    std::memset(packet->ReplyData, leftover, sizeof packet->ReplyData);
    packet->ReplyLength = static_cast<std::uint8_t>(std::min<std::size_t>(size, 255));
    if (size > 0)
        std::memcpy(packet->ReplyData, data, packet->ReplyLength);

    RecordingList target;
    RecordingList host;
    Label lblTarget;
    Label lblHost;
    core::NullEventPump pump;
    monitor::TrafficListing listing(target, host, lblTarget, lblHost, pump);
    Listed listed;
    listed.added = listing.ProcessCapture(*packet);
    listed.verdicts = target.verdicts;
    listed.verdicts.insert(listed.verdicts.end(), host.verdicts.begin(), host.verdicts.end());
    fuzz::check(target.verdicts.size() * 5 == target.lines.size() &&
                    host.verdicts.size() * 5 == host.lines.size(),
                "one CRC verdict per listed record");
    listed.target = std::move(target.lines);
    listed.host = std::move(host.lines);
    listed.lblTarget = lblTarget.text;
    listed.lblHost = lblHost.text;
    return listed;
}

void checkBlocks(const Lines &lines, const char *tx, const char *rx)
{
    fuzz::check(lines.size() % 5 == 0, "a side gets whole five-line blocks");
    for (std::size_t i = 0; i < lines.size(); i += 5) {
        fuzz::check(fuzz::startsWith(lines[i], "Packet #"), "block starts with Packet #");
        fuzz::check(fuzz::startsWith(lines[i + 1], "Packet time offset: "), "time line");
        fuzz::check(fuzz::startsWith(lines[i + 2], tx) || fuzz::startsWith(lines[i + 2], rx),
                    "hexadecimal line has its side's prefix");
        fuzz::check(lines[i + 4] == " ", "block ends with one space");
    }
    for (const std::string &line : lines)
        fuzz::check(fuzz::isPrintable(line), "listed lines are printable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Listed first = listOnce(data, size, monitor::kTagTargetTx);
    const Listed second = listOnce(data, size, monitor::kTagHostRx);
    fuzz::check(first.added.target == second.added.target && first.added.host == second.added.host,
                "bytes past ReplyLength are never read");
    fuzz::check(first.verdicts == second.verdicts,
                "CRC verdicts do not depend on bytes past ReplyLength");
    fuzz::check(first.lblTarget == second.lblTarget && first.lblHost == second.lblHost,
                "labels do not depend on bytes past ReplyLength");
    fuzz::check(first.added.target == first.target && first.added.host == first.host,
                "the lines for the logs are the lines listed");
    checkBlocks(first.target, "XLT TX  ", "XLT RX  ");
    checkBlocks(first.host, "XLT TX    ", "XLT RX    ");
    return 0;
}
