// Reads a capture file of 1,000,000 replies with readCaptureFile (the file in the page cache, as
// right after a run) and prints the time per file, replies and records per second: replies of
// everyday traffic (an SSP poll and its answer, an ID003 status request and its answer: four
// records, 46 bytes) and full 255-byte replies of a flood.
#include "monitor/CaptureFile.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace xlt;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kReplies = 1'000'000;

void addRecord(Bytes &reply, std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    reply.push_back(tag);
    for (int shift = 0; shift < 32; shift += 8)
        reply.push_back(static_cast<std::uint8_t>(offset >> shift));
    reply.push_back(static_cast<std::uint8_t>(frame.size()));
    reply.insert(reply.end(), frame.begin(), frame.end());
}

/// A capture of kReplies replies of `recordsPerReply` records each (the last ones of a full
/// reply padded to 255 bytes); the number of records in all.
std::size_t writeCapture(const std::string &path, bool full)
{
    const Bytes poll{0x7F, 0x80, 0x01, 0x07, 0x12, 0x02};
    const Bytes ok{0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80};
    const Bytes status{0xFC, 0x05, 0x11, 0x27, 0x56};
    const Bytes disabled{0xFC, 0x05, 0x1A, 0xF4, 0xE8};
    monitor::CaptureHeader header;
    header.started = "2026-12-07T11:30:52+01:00";
    header.portName = "COM129";
    header.deviceNode = "/dev/pts/5";
    header.program = "1.0.0.1";
    std::ofstream out(path, std::ios::binary);
    out << monitor::captureHeaderText(header);
    std::uint32_t offset = 0;
    std::size_t records = 0;
    for (std::size_t r = 0; r < kReplies; ++r) {
        Bytes reply;
        do {
            addRecord(reply, 0x35, offset += 200, poll);
            addRecord(reply, 0x55, offset + 7, ok);
            addRecord(reply, 0xAA, offset + 20, status);
            addRecord(reply, 0xCA, offset + 28, disabled);
            records += 4;
        } while (full && reply.size() + 46 <= 255);
        if (full) {
            addRecord(reply, 0xCA, offset + 30, Bytes(255 - reply.size() - 6, 0x01));
            ++records;
        }
        out << monitor::captureReplyLine(reply);
    }
    return records;
}

void ReadCapture(benchmark::State &state)
{
    const bool full = state.range(0) != 0;
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("run.xltcap")).toStdString();
    const std::size_t records = writeCapture(path, full);
    monitor::readCaptureFile(path); // into the page cache
    for (auto _ : state) {
        const monitor::CaptureRead read = monitor::readCaptureFile(path);
        if (!read.capture || read.capture->count() != kReplies)
            state.SkipWithError("the capture was not read whole");
        benchmark::DoNotOptimize(read);
    }
    state.counters["replies"] = static_cast<double>(kReplies);
    state.counters["records"] = static_cast<double>(records);
    state.counters["replies/s"] = benchmark::Counter(static_cast<double>(kReplies),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(ReadCapture)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("full")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
