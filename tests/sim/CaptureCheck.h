#pragma once
// Reads capture-read replies back into records and checks each frame by its own protocol's
// rules, independently of how the emulator builds them.
#include "core/Crc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xlt::test {

struct CapturedRecord
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    std::vector<std::uint8_t> frame;
};

/// Walks a reply as the monitor does: a tag starts a record, any other byte is skipped. A record
/// that runs past the reply ends the list with tag 0, which checkFrame refuses.
inline std::vector<CapturedRecord> parseReply(const std::vector<std::uint8_t> &r)
{
    std::vector<CapturedRecord> out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] != 0x55 && r[i] != 0x35 && r[i] != 0xAA && r[i] != 0xCA)
            continue;
        if (i + 6 > r.size() || i + 6 + r[i + 5] > r.size()) {
            out.push_back({});
            break;
        }
        out.push_back({r[i], 0, {r.begin() + long(i) + 6, r.begin() + long(i) + 6 + r[i + 5]}});
        for (std::size_t b = 0; b < 4; ++b)
            out.back().offsetMs |= std::uint32_t(r[i + 1 + b]) << (8 * b);
        i += 5 + r[i + 5];
    }
    return out;
}

/// Empty when the record's frame is sound for its protocol; otherwise what is wrong.
inline std::string checkFrame(const CapturedRecord &record)
{
    const auto &f = record.frame;
    const bool ssp = record.tag == 0x35 || record.tag == 0x55;
    if (!ssp && (record.tag == 0 || f.size() < 5 || f[0] != 0xFC || f[1] != f.size()))
        return "ID003 frame of the wrong shape, or a record cut short";
    std::vector<std::uint8_t> body = f; // without an SSP frame's start byte and stuffing
    if (ssp) {
        body.clear();
        for (std::size_t i = 1; i < f.size() && f[0] == 0x7F; ++i) {
            if (f[i] == 0x7F && (i + 1 >= f.size() || f[++i] != 0x7F))
                return "SSP stuffing broken";
            body.push_back(f[i]);
        }
        if (body.size() < 4 || body[1] + 4u != body.size())
            return "SSP frame of the wrong start or length";
    }
    const std::span covered(body.data(), body.size() - 2);
    const std::uint16_t crc = ssp ? core::crc16Ssp(covered) : core::crc16Kermit(covered);
    return body[body.size() - 2] == (crc & 0xFF) && body.back() == (crc >> 8) ? "" : "CRC wrong";
}

} // namespace xlt::test
