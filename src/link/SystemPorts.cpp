#include "SystemPorts.h"

// Placeholder until port discovery lands: no ports.
namespace xlt::link {

namespace {
class NoPorts final : public PortSource
{
public:
    std::vector<PortRecord> ports() override { return {}; }
};
} // namespace

std::unique_ptr<PortSource> makeSystemPortSource()
{
    return std::make_unique<NoPorts>();
}

} // namespace xlt::link
