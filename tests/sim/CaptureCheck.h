#pragma once

// Reads capture-read replies back into records and checks every frame against its own
// protocol's rules, independently of how the emulator builds them.

#include "core/Crc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xlt::test {

struct CapturedRecord
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    std::vector<std::uint8_t> frame;
};

struct ParsedReply
{
    std::vector<CapturedRecord> records;
    std::size_t strayBytes = 0;
    std::string error; ///< empty when every record lies inside the reply
};

inline bool isTag(std::uint8_t byte)
{
    return byte == 0x55 || byte == 0x35 || byte == 0xAA || byte == 0xCA;
}

/// Walks a reply as the monitor does: a tag starts a record, any other byte is skipped.
inline ParsedReply parseReply(const std::vector<std::uint8_t> &reply)
{
    ParsedReply out;
    std::size_t i = 0;
    while (i < reply.size()) {
        if (!isTag(reply[i])) {
            ++out.strayBytes;
            ++i;
            continue;
        }
        if (i + 6 > reply.size() || i + 6 + reply[i + 5] > reply.size()) {
            out.error = "record at " + std::to_string(i) + " runs past the reply";
            return out;
        }
        CapturedRecord record;
        record.tag = reply[i];
        for (int b = 0; b < 4; ++b)
            record.offsetMs |= std::uint32_t(reply[i + 1 + std::size_t(b)]) << (8 * b);
        record.frame.assign(reply.begin() + std::ptrdiff_t(i + 6),
                            reply.begin() + std::ptrdiff_t(i + 6 + reply[i + 5]));
        out.records.push_back(record);
        i += 6 + reply[i + 5];
    }
    return out;
}

/// SSP frame with stuffing removed: SEQ, LEN, DATA, CRC. Empty when the stuffing is broken.
inline std::optional<std::vector<std::uint8_t>> unstuffSsp(const std::vector<std::uint8_t> &frame)
{
    std::vector<std::uint8_t> body;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        if (frame[i] == 0x7F) {
            if (i + 1 >= frame.size() || frame[i + 1] != 0x7F)
                return std::nullopt;
            ++i;
        }
        body.push_back(frame[i]);
    }
    return body;
}

/// Empty when `frame` is a sound frame of its protocol; otherwise what is wrong.
inline std::string checkFrame(const CapturedRecord &record)
{
    const auto &f = record.frame;
    const bool target = record.tag == 0x35 || record.tag == 0x55;
    if (target) {
        if (f.empty() || f[0] != 0x7F)
            return "SSP frame without 7F";
        const auto body = unstuffSsp(f);
        if (!body || body->size() < 4 || (*body)[1] + 4u != body->size())
            return "SSP frame of the wrong length or stuffing";
        const std::size_t covered = body->size() - 2;
        const std::uint16_t crc = core::crc16Ssp(std::span(body->data(), covered));
        if ((*body)[covered] != (crc & 0xFF) || (*body)[covered + 1] != (crc >> 8))
            return "SSP CRC wrong";
        return {};
    }
    if (f.size() < 5 || f[0] != 0xFC || f[1] != f.size())
        return "ID003 frame of the wrong shape";
    const std::uint16_t crc = core::crc16Kermit(std::span(f.data(), f.size() - 2));
    if (f[f.size() - 2] != (crc & 0xFF) || f[f.size() - 1] != (crc >> 8))
        return "ID003 CRC wrong";
    return {};
}

} // namespace xlt::test
