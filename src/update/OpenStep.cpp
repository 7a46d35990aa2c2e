#include "OpenStep.h"

#include "core/FileIo.h"
#include "core/Text.h"
#include "link/DeviceContext.h"
#include "link/Identity.h"
#include "link/Operation.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <memory>

namespace xlt::update {

namespace {

const std::string kOpenHolderName = "firmware update window";

void printAll(Panel &panel, const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        panel.print(line);
}

} // namespace

std::pair<SeenDevice, std::vector<std::string>> lookAtDevice(link::Flow &flow)
{
    if (link::FindXLTPort(flow) == 0)
        return {};
    const std::optional<link::Identity> identity =
        link::readDeviceIdentity(flow, link::FirmwareStyle::WithPoint);
    if (!identity)
        return {};
    SeenDevice seen{link::describePort(flow.ports, flow.XLTPortNumber),
                    link::replyText(flow.CmdPacket)};
    return {std::move(seen), link::targetIdentityLines(*identity)};
}

void runOpenStep(link::Operation &operation, link::DeviceContext &context, Panel &panel,
                 const std::filesystem::path &path, const std::function<void(OpenStepResult)> &done)
{
    OpenStepResult result;
    QString reason;
    auto bytes = readWholeFile(path, &reason);
    if (!bytes || bytes->empty()) {
        result.unreadable = core::fromQString(reason);
        return done(std::move(result));
    }

    panel.clear();
    OpenResult opened = openUpdateFile(core::pathText(path), std::move(*bytes));
    result.check = opened.check;
    if (!opened.message.empty())
        context.notifier.message(core::Icon::Exclamation, opened.message);
    if (opened.check != FileCheck::Accepted) {
        result.kind = OpenStepResult::Kind::Refused;
        return done(std::move(result));
    }

    printAll(panel, link::fileIdentityLines(opened.image->file));
    result.kind = OpenStepResult::Kind::Accepted;
    result.image = std::move(opened.image);
    auto shared = std::make_shared<OpenStepResult>(std::move(result));
    using Look = std::pair<SeenDevice, std::vector<std::string>>;
    const bool asked = link::startForResult<Look>(operation, kOpenHolderName, &lookAtDevice,
                                                  [shared, done](Look look) {
                                                      shared->device = std::move(look.first);
                                                      shared->targetLines = std::move(look.second);
                                                      done(std::move(*shared));
                                                  });
    // Another window holds the device (the user was told): the file stands on its own.
    if (!asked)
        done(std::move(*shared));
}

} // namespace xlt::update
