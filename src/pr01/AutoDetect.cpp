#include "AutoDetect.h"

#include "Pr01Device.h"
#include "link/XLT_protocol.h"

#include <algorithm>
#include <array>

namespace xlt::pr01 {

namespace {

constexpr std::array<AutoDetect::Item, 3> kItems = {AutoDetect::Version, AutoDetect::BootVersion,
                                                    AutoDetect::Currency};
/// The flag byte and the eight four-byte rows.
constexpr std::size_t kCurrencyReplyLength = 1 + 4 * kRowCount;

} // namespace

AutoDetect::AutoDetect(link::DeviceContext &context, AutoDetectSink &sink)
    : m_sink(sink)
    , m_operation(context)
{}

AutoDetect::~AutoDetect()
{
    stop();
}

bool AutoDetect::start(std::function<void(bool started)> started, std::function<void()> ended)
{
    if (running())
        return false;
    CfgItemsRead = 0;
    m_starting = true;
    m_started = std::move(started);
    const bool launched = m_operation.start(
        kHolderName, [this](link::Flow &flow) { runOnLine(flow); },
        [this, ended = std::move(ended)] {
            if (m_starting) {
                m_starting = false;
                if (m_started)
                    m_started(false);
            }
            if (ended)
                ended();
        });
    if (!launched)
        m_starting = false;
    return launched;
}

// On the line. Only `flow` is used here; what reaches this object is posted.
void AutoDetect::runOnLine(link::Flow &flow)
{
    link::XLTPacket &packet = flow.CmdPacket;
    if (!CheckPR01Device(flow) || link::OpenXLTComPort(flow, packet) == 0)
        return;
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdDetectStart;
    if (!link::RunXLTCommand(flow, packet))
        return;
    flow.post([this] {
        m_starting = false;
        if (m_started)
            m_started(true);
    });
    std::uint8_t itemsRead = 0;
    for (;;) {
        if (!flow.pause(kInterval))
            return link::CloseXLTComPort(flow);
        packet.CommandLength = 1;
        packet.CommandData[0] = link::kCmdDetectPoll;
        // A failed exchange has already closed the port and told the user.
        if (!link::RunXLTCommand(flow, packet) || !fetchReported(flow, itemsRead))
            return;
        if (packet.ReplyData[0] == kAllItems || flow.stopRequested())
            return link::CloseXLTComPort(flow);
    }
}

bool AutoDetect::fetchReported(link::Flow &flow, std::uint8_t &itemsRead)
{
    link::XLTPacket &packet = flow.CmdPacket;
    for (const Item item : kItems) {
        // Each step tests byte 0 of the reply as it stands now: after a fetch, the fetch reply's.
        if (!(packet.ReplyData[0] & item) || (itemsRead & item))
            continue;
        packet.CommandLength = 2;
        packet.CommandData[0] = link::kCmdDetectFetch;
        packet.CommandData[1] = item;
        if (!link::RunXLTCommand(flow, packet) || !fetched(flow, item))
            return false;
        itemsRead = static_cast<std::uint8_t>(itemsRead | item);
    }
    return true;
}

bool AutoDetect::fetched(link::Flow &flow, Item item)
{
    const link::XLTPacket &packet = flow.CmdPacket;
    if (item == Currency) {
        if (packet.ReplyLength < kCurrencyReplyLength) {
            link::CloseXLTComPort(flow);
            flow.tell(core::Icon::Exclamation,
                      "The XLT device sent " + std::to_string(packet.ReplyLength) +
                          " bytes for the currency assignment instead of 33. Detection was "
                          "ended.");
            return false;
        }
        std::array<std::uint8_t, 4 * kRowCount> rows{};
        std::copy_n(packet.ReplyData + 1, rows.size(), rows.begin());
        flow.post([this, rows] {
            m_sink.currencyDetected(rows);
            CfgItemsRead = static_cast<std::uint8_t>(CfgItemsRead | Currency);
        });
        return true;
    }
    // Byte 0 is the device's flag byte; every further byte is one character, zeros included.
    const std::size_t length = packet.ReplyLength > 1 ? packet.ReplyLength - 1u : 0u;
    std::string text(packet.ReplyData + 1, packet.ReplyData + 1 + length);
    flow.post([this, item, text = std::move(text)] {
        if (item == Version)
            m_sink.versionDetected(text);
        else
            m_sink.bootVersionDetected(text);
        CfgItemsRead = static_cast<std::uint8_t>(CfgItemsRead | item);
    });
    return true;
}

} // namespace xlt::pr01
