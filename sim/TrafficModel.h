#pragma once

#include "DeviceModel.h"
#include "TrafficFrames.h"

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace xlt::sim {

/// The traffic that the device sees on its two ports while capture is on: an ID003 host that
/// polls the device (STATUS REQUEST / IDLING) and the device polling an SSP validator
/// (POLL / OK), with from time to time a note accepted, or the host disabling and enabling
/// acceptance. Time offsets are milliseconds since capture start, taken from the `now` of
/// each read, so the clock is whatever the caller drives.
class TrafficModel
{
public:
    /// `badCrcEvery` N > 0: every Nth frame captured (both sides counted) has a wrong CRC.
    TrafficModel(TrafficLevel level, bool strayBytes, std::uint32_t seed, Clock::time_point start,
                 std::uint32_t badCrcEvery = 0);

    /// Whole records captured up to `now` that fit one reply (at most 255 bytes, stray bytes
    /// included); the rest waits for the next read. In flood mode every reply is exactly 255
    /// bytes. A backlog older than the device's capture buffer is dropped, oldest first.
    std::vector<std::uint8_t> nextReply(Clock::time_point now);

    /// Milliseconds: poll period per side, jitter of each poll, answer delays (low, high).
    struct Timing
    {
        std::uint32_t period;
        std::uint32_t stepJitter;
        std::uint32_t sspDelay[2];
        std::uint32_t id003Delay[2];
    };

private:
    /// One command and its answer on one side: SSP data bytes, or ID003 code then data.
    struct Step
    {
        std::vector<std::uint8_t> command;
        std::vector<std::uint8_t> response; ///< empty: no answer
    };

    void generateUntil(std::uint32_t ms);
    void targetStep(std::uint32_t at);
    void hostStep(std::uint32_t at);
    void startScenario(std::uint32_t at);
    void push(std::uint8_t tag, std::uint32_t at, std::vector<std::uint8_t> frame);
    std::uint32_t jitter(std::uint32_t low, std::uint32_t high);
    std::vector<std::uint8_t> strayBytes();
    void fillFlood(std::vector<std::uint8_t> &reply, std::size_t lastRecordAt,
                   const TrafficRecord &lastRecord);

    TrafficLevel m_level;
    bool m_stray;
    Clock::time_point m_start;
    std::minstd_rand m_rng;
    std::minstd_rand m_strayRng; ///< apart, so stray bytes leave the traffic itself unchanged
    Timing m_timing;
    std::uint32_t m_generatedMs = 0;
    std::uint32_t m_nextTargetMs;
    std::uint32_t m_nextHostMs;
    std::uint32_t m_nextScenarioMs;
    int m_scenario = 0;
    bool m_sspSeq = false;
    std::deque<Step> m_targetScript;
    std::deque<Step> m_hostScript;
    std::deque<TrafficRecord> m_pending;
    std::size_t m_pendingBytes = 0;
    std::uint32_t m_lastOffsetMs = 0; ///< of the last record handed out: offsets never go back
    std::uint32_t m_badCrcEvery;
    std::uint32_t m_frames = 0;
};

} // namespace xlt::sim
