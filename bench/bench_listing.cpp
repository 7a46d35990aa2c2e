// Lists full 255-byte capture-read replies of realistic traffic (SSP polls and responses with
// events on the target side, ID003 status exchanges on the host side) into lists capped like the
// monitor's, and prints records per second and nanoseconds per reply: plain, and with the
// window's checks on each record (CRC verdict, request-to-reply pairing, figures per side).
#include "monitor/TrafficAnalysis.h"
#include "monitor/TrafficListing.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace xlt;
using Bytes = std::vector<std::uint8_t>;

// Keeps its lines like the window's list model; the listing empties it at the cap.
class StoringList final : public monitor::LineList
{
public:
    StoringList() { lines.reserve(monitor::kListCap + 256); }
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override { lines.push_back(line); }
    void selectLast() override { selected = lines.size(); }
    std::vector<std::string> lines;
    std::size_t selected = 0;
};

// The same, with the checks the monitor window makes on each record.
class CheckingList final : public monitor::LineList
{
public:
    CheckingList() { lines.reserve(monitor::kListCap + 256); }
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override { lines.push_back(line); }
    void selectLast() override { selected = lines.size(); }
    void recordDone(const monitor::ListedRecord &record) override
    {
        const monitor::CrcVerdict crc =
            record.complete ? monitor::checkFrameCrc(record.frame) : monitor::CrcVerdict::Unchecked;
        const auto reply = summary.take(record.tag, record.offsetMs, crc);
        benchmark::DoNotOptimize(reply);
    }
    std::vector<std::string> lines;
    std::size_t selected = 0;
    monitor::SideSummary summary;
};

class Label final : public monitor::TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

// CPU time of this thread: the figures then hold on a machine that is busy with other work.
double threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

void addRecord(Bytes &reply, std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    reply.push_back(tag);
    for (int shift = 0; shift < 32; shift += 8)
        reply.push_back(static_cast<std::uint8_t>(offset >> shift));
    reply.push_back(static_cast<std::uint8_t>(frame.size()));
    reply.insert(reply.end(), frame.begin(), frame.end());
}

struct Traffic
{
    std::vector<link::XLTPacket> replies;
    std::size_t records = 0; // in all replies together
};

// Replies filled with records up to 255 bytes; the rest of a reply is one record whose ID003
// frame carries data, so every reply is exactly 255 bytes.
Traffic makeTraffic(std::size_t count)
{
    const std::vector<std::pair<std::uint8_t, Bytes>> cycle = {
        {0x35, {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}},
        {0x55, {0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80}},
        {0xAA, {0xFC, 0x05, 0x11, 0x27, 0x56}},
        {0xCA, {0xFC, 0x05, 0x1A, 0xF4, 0xE8}},
        {0x35, {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}},
        {0x55, {0x7F, 0x80, 0x05, 0xF0, 0xEF, 0x02, 0xEE, 0x02, 0x3C, 0x11}},
        {0xAA, {0xFC, 0x06, 0xC3, 0x00, 0x04, 0xD6}},
        {0xCA, {0xFC, 0x06, 0x13, 0x62, 0x8A, 0x31}},
    };
    Traffic traffic;
    std::uint32_t offset = 0;
    std::size_t next = 0;
    for (std::size_t r = 0; r < count; ++r) {
        Bytes reply;
        while (reply.size() + 6 + cycle[next % cycle.size()].second.size() + 6 <= 255) {
            const auto &[tag, frame] = cycle[next++ % cycle.size()];
            addRecord(reply, tag, offset += 15, frame);
            ++traffic.records;
        }
        Bytes last(255 - reply.size() - 6, 0x01);
        last[0] = 0xFC;
        if (last.size() > 1)
            last[1] = static_cast<std::uint8_t>(last.size());
        if (last.size() > 2)
            last[2] = 0x13;
        addRecord(reply, 0xCA, offset += 15, last);
        ++traffic.records;
        link::XLTPacket packet;
        packet.ReplyLength = static_cast<std::uint8_t>(reply.size());
        std::memcpy(packet.ReplyData, reply.data(), reply.size());
        traffic.replies.push_back(packet);
    }
    return traffic;
}

template<typename List> void ListFullReplies(benchmark::State &state)
{
    const Traffic traffic = makeTraffic(64);
    List target;
    List host;
    Label lblTarget;
    Label lblHost;
    core::NullEventPump pump;
    monitor::TrafficListing listing(target, host, lblTarget, lblHost, pump);
    std::size_t index = 0;
    const double start = threadCpuNs();
    for (auto _ : state) {
        auto added = listing.ProcessCapture(traffic.replies[index]);
        benchmark::DoNotOptimize(added);
        index = (index + 1) % traffic.replies.size();
    }
    const double elapsedNs = threadCpuNs() - start;
    const double replies = static_cast<double>(state.iterations());
    const double recordsPerReply =
        static_cast<double>(traffic.records) / static_cast<double>(traffic.replies.size());
    const double nsPerReply = elapsedNs / replies;
    state.counters["records/reply"] = recordsPerReply;
    state.counters["ns/reply"] = nsPerReply;
    state.counters["records/s"] = recordsPerReply * 1e9 / nsPerReply;
}
BENCHMARK(ListFullReplies<StoringList>)->Name("ListFullReplies");
BENCHMARK(ListFullReplies<CheckingList>)->Name("ListFullRepliesChecked");

} // namespace
