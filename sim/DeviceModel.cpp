#include "DeviceModel.h"

namespace xlt::sim {

class TrafficModel
{
};

DeviceModel::DeviceModel(DeviceOptions options)
    : m_options(std::move(options)), m_block(defaultConfigBlock()), m_identity(m_options.identity)
{}

DeviceModel::~DeviceModel() = default;

Response DeviceModel::handle(std::span<const std::uint8_t>, Clock::time_point)
{
    ++m_commandCount;
    return {Response::Kind::Reply, kStatusRefused, {}, false};
}

ConfigBlock defaultConfigBlock()
{
    return {};
}

} // namespace xlt::sim
