// Fuzzes the link's frame encoder and decoder. Input: byte 0 chooses the mode and the header,
// the rest is data or line bytes.
//   mode bit 0 clear: round trip. The rest is a frame's data: encoded as a command and as a
//     reply, fed to the decoder whole and in two parts split where byte 1 says, it must come
//     back exactly, also after the rest fed as garbage and a reset.
//   mode bit 0 set: garbage. The rest is fed to both decoders as line bytes; every frame they
//     complete must encode back to a frame that decodes to itself, and flush() must leave the
//     decoder idle.
#include "FuzzCheck.h"
#include "link/Framing.h"

#include <span>

using namespace xlt::link::framing;
using Bytes = std::vector<std::uint8_t>;
namespace fuzz = xlt::fuzz;

namespace {

std::vector<Frame> decodeAll(Decoder &decoder, std::span<const std::uint8_t> line)
{
    std::vector<Frame> frames;
    for (std::uint8_t byte : line) {
        if (decoder.feed(byte) == Decoder::Result::Complete)
            frames.push_back(decoder.frame());
    }
    return frames;
}

bool same(const Frame &a, const Frame &b)
{
    return a.seq == b.seq && a.status == b.status && a.data == b.data;
}

void roundTrip(std::uint8_t header, std::span<const std::uint8_t> data, std::size_t split,
               std::span<const std::uint8_t> garbage)
{
    const auto seq = static_cast<std::uint8_t>(header & kSeqToggle);
    const auto status = static_cast<std::uint8_t>(header >> 1);
    const Bytes sent(data.begin(), data.begin() + std::min<std::ptrdiff_t>(std::ssize(data), 255));
    for (const bool reply : {false, true}) {
        const Bytes line = reply ? encodeReply(seq, status, data) : encodeCommand(seq, data);
        fuzz::check(line.size() <= kMaxFrameOnLine, "frame fits the longest on the line");
        const Frame expected{static_cast<std::uint8_t>(reply ? seq | kSeqReply : seq),
                             reply ? status : std::uint8_t{0}, sent};
        Decoder decoder(reply);
        const std::size_t cut = std::min(split, line.size());
        auto frames = decodeAll(decoder, std::span(line).first(cut));
        const auto rest = decodeAll(decoder, std::span(line).subspan(cut));
        frames.insert(frames.end(), rest.begin(), rest.end());
        fuzz::check(frames.size() == 1 && same(frames[0], expected), "round trip");

        decodeAll(decoder, garbage);
        decoder.reset();
        const auto again = decodeAll(decoder, line);
        fuzz::check(again.size() == 1 && same(again[0], expected), "round trip after a reset");
    }
}

void garbage(std::span<const std::uint8_t> line)
{
    for (const bool reply : {false, true}) {
        Decoder decoder(reply);
        std::vector<Frame> frames = decodeAll(decoder, line);
        if (decoder.flush() == Decoder::Result::Complete)
            frames.push_back(decoder.frame());
        fuzz::check(!decoder.inFrame(), "flush leaves the decoder idle");
        for (const Frame &frame : frames) {
            fuzz::check(frame.data.size() <= 255, "data fits LEN");
            fuzz::check(((frame.seq & kSeqReply) != 0) == reply, "reply bit as the decoder's");
            const Bytes again = reply ? encodeReply(frame.seq, frame.status, frame.data)
                                      : encodeCommand(frame.seq, frame.data);
            Decoder check(reply);
            const auto decoded = decodeAll(check, again);
            fuzz::check(decoded.size() == 1 && same(decoded[0], frame), "decoded frame re-encodes");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::span<const std::uint8_t> rest(data + 2, size - 2);
    if (data[0] & 1)
        garbage(std::span(data + 1, size - 1));
    else
        roundTrip(data[0], rest, data[1], rest);
    return 0;
}
