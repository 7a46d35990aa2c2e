// The device's two longer exchanges: receiving a firmware image block by block, and automatic
// configuration detection.

#include "DeviceModel.h"

#include <algorithm>
#include <bit>

namespace xlt::sim {

namespace {

constexpr int kLastFirstStageBlock = 255;
constexpr std::size_t kIdentityBlock = 15;
constexpr std::size_t kIdentityOffset = 112;
constexpr std::size_t kIdentityLength = 13;

Response accepted(std::vector<std::uint8_t> data = {})
{
    return {Response::Kind::Reply, kStatusAccepted, std::move(data), false};
}

Response refused()
{
    return {Response::Kind::Reply, kStatusRefused, {}, false};
}

} // namespace

Response DeviceModel::updateBlock(std::span<const std::uint8_t> command, Clock::time_point now)
{
    if (command.size() != 3 + kBlockSize)
        return refused();
    const int number = command[1] | command[2] << 8;
    if (number == 0) {
        m_image.clear();
        m_imageClosed = false;
    }
    // A block that is lost, or that arrives out of order, spoils the image: it is never put in
    // use, and only a new block 0 starts again.
    if (m_options.disconnectAtBlock == number) {
        m_imageClosed = true;
        m_disconnected = true;
        return {Response::Kind::Disconnect, kStatusAccepted, {}, false};
    }
    if (m_options.timeoutAtBlock == number) {
        m_imageClosed = true;
        return {Response::Kind::NoReply, kStatusAccepted, {}, false};
    }
    if (m_options.refuseBlock == number || m_imageClosed ||
        static_cast<std::size_t>(number) != m_image.size()) {
        m_imageClosed = true;
        return refused();
    }
    ImageBlock block{};
    std::copy_n(command.begin() + 3, kBlockSize, block.begin());
    m_image.push_back(block);
    if (number == kLastFirstStageBlock)
        m_copyUntil = now + m_options.firstStageCopy;
    return accepted();
}

void DeviceModel::completeImage()
{
    // Only a whole image is put in use: one cut short by a lost block, a killed host or a
    // pulled cable leaves the old one running.
    const auto whole = static_cast<std::size_t>(std::max(m_options.imageBlocks, 1));
    if (m_imageClosed || m_image.size() < whole)
        return;
    if (m_image.size() > kIdentityBlock && !m_options.keepIdentity) {
        const ImageBlock &block = m_image[kIdentityBlock];
        m_identity.assign(block.begin() + kIdentityOffset,
                          block.begin() + kIdentityOffset + kIdentityLength);
    }
    // The image is now in use; the blocks stay readable for inspection.
    m_imageClosed = true;
}

Response DeviceModel::detectStart(std::span<const std::uint8_t> command)
{
    if (command.size() != 1)
        return refused();
    m_detecting = true;
    m_detectPolls = 0;
    m_detectFound = 0;
    return accepted();
}

Response DeviceModel::detectStatus(std::span<const std::uint8_t> command)
{
    if (command.size() != 1)
        return refused();
    if (m_options.detectStatusFails)
        return {Response::Kind::Reply, m_options.failStatus, {}, false};
    if (m_detecting) {
        ++m_detectPolls;
        const std::uint8_t target = m_options.detectTarget;
        if (m_options.detectAllAtOnce) {
            m_detectFound = target;
        } else {
            // One more of the target's flags with every status request, lowest first.
            std::uint8_t found = 0;
            int left = m_detectPolls;
            for (std::uint8_t bit = 1; bit != 0 && left > 0; bit = std::uint8_t(bit << 1)) {
                if (target & bit) {
                    found |= bit;
                    --left;
                }
            }
            m_detectFound = found;
        }
    }
    return accepted({m_detectFound});
}

Response DeviceModel::detectFetch(std::span<const std::uint8_t> command)
{
    if (command.size() != 2)
        return refused();
    const std::uint8_t item = command[1];
    if (std::popcount(item) != 1 || item > 4 || !(m_detectFound & item))
        return refused();
    std::vector<std::uint8_t> data{m_options.fetchReportsAll ? std::uint8_t(7) : item};
    const DetectedConfig &detected = m_options.detected;
    if (item == 1)
        data.insert(data.end(), detected.version.begin(), detected.version.end());
    else if (item == 2)
        data.insert(data.end(), detected.bootVersion.begin(), detected.bootVersion.end());
    else
        data.insert(data.end(), detected.currency.begin(), detected.currency.end());
    if (data.size() > kMaxReplyData)
        data.resize(kMaxReplyData);
    return accepted(std::move(data));
}

} // namespace xlt::sim
