#include "DeviceModel.h"

#include "StateFile.h"
#include "TrafficModel.h"

#include <algorithm>

namespace xlt::sim {

namespace {

constexpr std::uint8_t kCaptureRead = 1, kCaptureStart = 2, kIdentity = 16, kReadBlock = 17,
                       kWriteBlock = 18, kDetectStart = 20, kUpdateBlock = 21, kDetectStatus = 22,
                       kDetectFetch = 23;

Response reply(std::vector<std::uint8_t> data = {})
{
    if (data.size() > kMaxReplyData)
        data.resize(kMaxReplyData);
    return {Response::Kind::Reply, kStatusAccepted, std::move(data), false};
}

Response refuse(std::uint8_t status = kStatusRefused)
{
    return {Response::Kind::Reply, status, {}, false};
}

Response kindOnly(Response::Kind kind)
{
    return {kind, kStatusAccepted, {}, false};
}

void putText(ConfigBlock &block, std::size_t offset, std::size_t width, std::string_view text)
{
    const std::size_t n = std::min(width, text.size());
    std::copy_n(text.begin(), n, block.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

ConfigBlock defaultConfigBlock()
{
    ConfigBlock block{};
    putText(block, 0, 64, "PR01 ID003 XLT V01.23");
    putText(block, 64, 16, "BOOT V1.00");
    static constexpr std::uint8_t kDenoms[8] = {1, 2, 5, 10, 20, 50, 100, 0};
    for (std::size_t row = 0; row < 8; ++row) {
        block[80 + 4 * row] = static_cast<std::uint8_t>(0x61 + row);
        block[81 + 4 * row] = 0x01;
        block[82 + 4 * row] = kDenoms[row];
        block[83 + 4 * row] = 0x00;
    }
    block[kHostDriveOffset] = 0;
    return block;
}

DeviceModel::DeviceModel(DeviceOptions options)
    : m_options(std::move(options))
    , m_identity(m_options.identity)
{
    m_block = m_options.initialBlock.value_or(defaultConfigBlock());
    if (!m_options.statePath.empty()) {
        if (auto stored = readStateFile(m_options.statePath, m_stateError))
            m_block = *stored;
    }
}

DeviceModel::~DeviceModel() = default;

Response DeviceModel::handle(std::span<const std::uint8_t> command, Clock::time_point now)
{
    if (m_disconnected)
        return kindOnly(Response::Kind::Disconnect);
    ++m_commandCount;
    if (m_options.disconnectAfter > 0 && m_commandCount > m_options.disconnectAfter) {
        m_disconnected = true;
        return kindOnly(Response::Kind::Disconnect);
    }
    const std::uint8_t code = command.empty() ? 0 : command[0];
    if (auto fault = lineFault(code))
        return *fault;

    Response response;
    if (m_copyUntil && now < *m_copyUntil) {
        // Busy copying the first stage of an image: nothing else is done meanwhile.
        response = refuse();
    } else {
        m_copyUntil.reset();
        response = dispatch(command, now);
    }
    const bool applies = !m_options.faultCode || *m_options.faultCode == code;
    if (applies && response.kind == Response::Kind::Reply) {
        // These faults strike on the way back: the command itself was carried out.
        if (m_options.fault == Fault::BadCrc)
            response.kind = Response::Kind::BadCrc;
        else if (m_options.fault == Fault::GarbageBefore || m_options.fault == Fault::NoiseBefore)
            response.garbageBefore = true;
    }
    if (m_options.unplugAfter > 0 && m_commandCount >= m_options.unplugAfter) {
        m_disconnected = true;
        response.thenVanish = true;
    }
    return response;
}

std::optional<Response> DeviceModel::lineFault(std::uint8_t code)
{
    if (m_options.faultCode && *m_options.faultCode != code)
        return std::nullopt;
    switch (m_options.fault) {
    case Fault::NoReply:
        return kindOnly(Response::Kind::NoReply);
    case Fault::GarbageOnly:
        return kindOnly(Response::Kind::Garbage);
    case Fault::FailStatus:
        return refuse(m_options.failStatus);
    default:
        return std::nullopt;
    }
}

Response DeviceModel::dispatch(std::span<const std::uint8_t> command, Clock::time_point now)
{
    if (command.empty())
        return refuse();
    const std::uint8_t code = command[0];
    if (code != kUpdateBlock)
        completeImage();
    const bool single = command.size() == 1;
    switch (code) {
    case kCaptureRead:
        return captureRead(command, now);
    case kCaptureStart:
        return captureStart(command, now);
    case kIdentity:
        return single ? reply({m_identity.begin(), m_identity.end()}) : refuse();
    case kReadBlock:
        return single ? reply({m_block.begin(), m_block.end()}) : refuse();
    case kWriteBlock:
        return writeBlock(command);
    case kDetectStart:
        return detectStart(command);
    case kUpdateBlock:
        return updateBlock(command, now);
    case kDetectStatus:
        return detectStatus(command);
    case kDetectFetch:
        return detectFetch(command);
    default:
        return refuse();
    }
}

Response DeviceModel::captureStart(std::span<const std::uint8_t> command, Clock::time_point now)
{
    if (command.size() != 2 || command[1] > 1)
        return refuse();
    m_captureOn = command[1] == 1;
    // Each start begins a fresh capture: time offsets count from here.
    m_traffic =
        m_captureOn
            ? std::make_unique<TrafficModel>(m_options.traffic, m_options.strayBytes,
                                             m_options.trafficSeed, now, m_options.badCrcEvery)
            : nullptr;
    return reply();
}

Response DeviceModel::captureRead(std::span<const std::uint8_t> command, Clock::time_point now)
{
    if (command.size() != 1)
        return refuse();
    if (!m_captureOn)
        return reply();
    return reply(m_traffic->nextReply(now));
}

Response DeviceModel::writeBlock(std::span<const std::uint8_t> command)
{
    if (command.size() != 1 + kBlockSize)
        return refuse();
    ConfigBlock block{};
    std::copy_n(command.begin() + 1, kBlockSize, block.begin());
    if (!m_options.statePath.empty()) {
        std::string error;
        if (!writeStateFile(m_options.statePath, block, error)) {
            // Not stored where it would survive a restart: the device says so.
            m_stateError = error;
            return refuse();
        }
        m_stateError.clear();
    }
    m_block = block;
    return reply();
}

} // namespace xlt::sim
