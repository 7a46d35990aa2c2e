// Fuzzes the emulated device's command handling (sim/DeviceModel). Input: byte 0 picks the
// device's switches, then commands follow, each a length byte and that many bytes (the last
// one cut short by the input's end), 50 ms apart. At most kMaxCommands are sent: enough for a
// whole image and the commands around it, and a run stays fast (a flood capture read is not).
#include "FuzzCheck.h"
#include "sim/DeviceModel.h"

#include <span>

using namespace xlt;
using namespace std::chrono_literals;

namespace {

sim::DeviceOptions optionsFrom(std::uint8_t switches)
{
    sim::DeviceOptions options;
    static constexpr sim::Fault kFaults[] = {sim::Fault::None,          sim::Fault::None,
                                             sim::Fault::NoReply,       sim::Fault::BadCrc,
                                             sim::Fault::GarbageBefore, sim::Fault::GarbageOnly,
                                             sim::Fault::FailStatus,    sim::Fault::None};
    options.fault = kFaults[switches & 7];
    if (switches & 0x08)
        options.faultCode = 16;
    options.detectAllAtOnce = (switches & 0x10) != 0;
    options.traffic = (switches & 0x20) ? sim::TrafficLevel::Flood : sim::TrafficLevel::Normal;
    options.strayBytes = (switches & 0x40) != 0;
    options.disconnectAfter = (switches & 0x80) ? 20 : 0;
    options.imageBlocks = 20;
    options.firstStageCopy = 100ms;
    return options;
}

constexpr int kMaxCommands = 48;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    sim::DeviceModel model(optionsFrom(data[0]));
    std::string identity = model.identity();
    sim::ConfigBlock written = model.configBlock();
    bool gone = false;
    auto now = sim::Clock::time_point{} + 1h;
    int sent = 0;
    for (std::size_t at = 1; at < size && sent < kMaxCommands; ++sent) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const std::vector<std::uint8_t> command(data + at + 1, data + at + 1 + length);
        at += 1 + length;
        now += 50ms;
        const sim::Response response = model.handle(command, now);
        using Kind = sim::Response::Kind;
        fuzz::check(response.data.size() <= sim::kMaxReplyData, "reply data fits one frame");
        fuzz::check(!gone || response.kind == Kind::Disconnect, "a vanished device stays so");
        gone = response.kind == Kind::Disconnect;
        fuzz::check(response.kind != Kind::Reply || response.status == sim::kStatusAccepted ||
                        response.data.empty(),
                    "a refusal carries no data");
        const bool accepted = response.kind != Kind::Disconnect && response.kind != Kind::NoReply &&
                              response.kind != Kind::Garbage &&
                              response.status == sim::kStatusAccepted;
        if (accepted && command.size() == 1 + sim::kBlockSize && command[0] == 18)
            std::copy(command.begin() + 1, command.end(), written.begin());
        fuzz::check(model.configBlock() == written, "only an accepted write changes the block");
        // The identity changes only with a whole image: all of its blocks, in order.
        fuzz::check(model.identity() == identity ||
                        model.updateBlocks().size() >= std::size_t(model.options().imageBlocks),
                    "identity changes only after the image's last block");
        identity = model.identity();
    }
    return 0;
}
