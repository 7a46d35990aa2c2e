#include "SimRegistry.h"

// Placeholder until the registry lands: nothing registered.
namespace xlt::link {

std::string simRegistryDir()
{
    return {};
}

std::vector<std::pair<int, std::string>> readSimPorts(const std::string &)
{
    return {};
}

std::optional<SimPortRegistration> SimPortRegistration::create(const std::string &,
                                                               const std::string &)
{
    return std::nullopt;
}

SimPortRegistration::SimPortRegistration(SimPortRegistration &&other) noexcept
    : m_index(other.m_index), m_path(std::move(other.m_path))
{
    other.m_path.clear();
}

SimPortRegistration &SimPortRegistration::operator=(SimPortRegistration &&other) noexcept
{
    if (this != &other) {
        unregister();
        m_index = other.m_index;
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

SimPortRegistration::~SimPortRegistration()
{
    unregister();
}

void SimPortRegistration::unregister()
{
    m_path.clear();
}

} // namespace xlt::link
