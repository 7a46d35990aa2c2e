#include "PtyServer.h"

namespace xlt::sim {

struct PtyServer::Registration
{
};

PtyServer::PtyServer(DeviceOptions options) : m_model(std::move(options)) {}

PtyServer::~PtyServer() = default;

std::unique_ptr<PtyServer> PtyServer::start(DeviceOptions, const Settings &, std::string &error)
{
    error = "not available yet";
    return nullptr;
}

int PtyServer::comPortNumber() const
{
    return 0;
}

} // namespace xlt::sim
