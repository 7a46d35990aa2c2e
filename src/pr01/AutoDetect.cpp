#include "AutoDetect.h"

#include "Pr01Device.h"
#include "link/XLT_protocol.h"

#include <array>

namespace xlt::pr01 {

namespace {

constexpr std::array<AutoDetect::Item, 3> kItems = {AutoDetect::Version, AutoDetect::BootVersion,
                                                    AutoDetect::Currency};
/// The flag byte and the eight four-byte rows.
constexpr std::size_t kCurrencyReplyLength = 1 + 4 * kRowCount;

} // namespace

AutoDetect::AutoDetect(link::DeviceContext &context, AutoDetectSink &sink)
    : m_context(context)
    , m_sink(sink)
{}

AutoDetect::~AutoDetect()
{
    stop();
}

void AutoDetect::send(std::uint8_t length, std::uint8_t code, std::uint8_t parameter, Done done)
{
    link::XLTPacket &packet = m_context.CmdPacket;
    packet.CommandLength = length;
    packet.CommandData[0] = code;
    if (length > 1)
        packet.CommandData[1] = parameter;
    // Results of a detection that was stopped meanwhile go nowhere.
    link::RunXLTCommand(
        m_context, m_lifetime.guard([this, session = m_session, done = std::move(done)](bool ok) {
            if (session == m_session)
                done(ok);
        }));
}

void AutoDetect::start(const std::function<void(bool started)> &done)
{
    if (running() || link::refuseWhileHeld(m_context))
        return done(false);
    CfgItemsRead = 0;
    ++m_session;
    m_starting = true;
    m_hold.emplace(m_context, kHolderName);
    CheckPR01Device(m_context, m_lifetime.guard([this, session = m_session, done](bool ok) {
        if (session != m_session)
            return done(false);
        if (!ok)
            return started(false, done);
        link::OpenXLTComPort(m_context, m_lifetime.guard([this, session, done](bool opened) {
            if (session != m_session)
                return done(false);
            if (!opened)
                return started(false, done);
            send(1, link::kCmdDetectStart, 0, [this, done](bool sent) { started(sent, done); });
        }));
    }));
}

void AutoDetect::started(bool ok, const Done &done)
{
    m_starting = false;
    if (!ok) {
        m_hold.reset();
        return done(false);
    }
    AbortAutoCfg = false;
    done(true);
}

void AutoDetect::tick(const std::function<void(bool again)> &done)
{
    if (!running() || m_starting)
        return done(false);
    send(1, link::kCmdDetectPoll, 0, [this, done](bool ok) {
        // A failed exchange has already closed the port and told the user.
        if (!ok)
            return finish(done);
        fetchFrom(0, done);
    });
}

void AutoDetect::fetchFrom(std::size_t index, const Done &done)
{
    // Each step tests byte 0 of the reply as it stands now: after a fetch, the fetch reply's.
    const std::uint8_t flags = m_context.CmdPacket.ReplyData[0];
    for (; index < kItems.size(); ++index) {
        const Item item = kItems[index];
        if ((flags & item) && !(CfgItemsRead & item)) {
            send(2, link::kCmdDetectFetch, item, [this, item, index, done](bool ok) {
                if (!ok)
                    return finish(done);
                fetched(item, [this, index, done](bool kept) {
                    if (!kept)
                        return finish(done);
                    fetchFrom(index + 1, done);
                });
            });
            return;
        }
    }
    if (flags == kAllItems || AbortAutoCfg) {
        link::CloseXLTComPort(m_context);
        return finish(done);
    }
    done(true);
}

void AutoDetect::fetched(Item item, const Done &done)
{
    const link::XLTPacket &packet = m_context.CmdPacket;
    if (item == Currency) {
        if (packet.ReplyLength < kCurrencyReplyLength) {
            link::CloseXLTComPort(m_context);
            m_context.notifier.message(
                core::Icon::Exclamation,
                "The XLT device sent " + std::to_string(packet.ReplyLength) +
                    " bytes for the currency assignment instead of 33. Detection was ended.");
            return done(false);
        }
        m_sink.currencyDetected(
            std::span<const std::uint8_t, 4 * kRowCount>(packet.ReplyData + 1, 4 * kRowCount));
    } else {
        // Byte 0 is the device's flag byte; every further byte is one character, zeros included.
        const std::size_t length = packet.ReplyLength > 1 ? packet.ReplyLength - 1u : 0u;
        const std::string text(packet.ReplyData + 1, packet.ReplyData + 1 + length);
        if (item == Version)
            m_sink.versionDetected(text);
        else
            m_sink.bootVersionDetected(text);
    }
    CfgItemsRead = static_cast<std::uint8_t>(CfgItemsRead | item);
    done(true);
}

void AutoDetect::finish(const Done &done)
{
    m_hold.reset();
    done(false);
}

void AutoDetect::stop()
{
    if (!running())
        return;
    ++m_session;
    m_starting = false;
    link::CloseXLTComPort(m_context);
    m_hold.reset();
}

} // namespace xlt::pr01
