#include "OpenStep.h"

#include "core/Text.h"
#include "link/DeviceContext.h"
#include "link/Identity.h"
#include "link/USB_COM.h"

#include <memory>

namespace xlt::update {

namespace {

void printAll(Panel &panel, const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        panel.print(line);
}

} // namespace

void runOpenStep(link::DeviceContext &context, Panel &panel, const QString &path,
                 std::function<void(OpenStepResult)> done)
{
    OpenStepResult result;
    auto bytes = readWholeFile(path);
    if (!bytes || bytes->empty())
        return done(std::move(result));

    panel.clear();
    OpenResult opened = openUpdateFile(core::fromQString(path), std::move(*bytes));
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
    if (link::refuseWhileHeld(context) || link::FindXLTPort(context) == 0)
        return done(std::move(result));
    auto shared = std::make_shared<OpenStepResult>(std::move(result));
    link::readDeviceIdentity(
        context, link::FirmwareStyle::WithPoint,
        [shared, done = std::move(done)](std::optional<link::Identity> identity) {
            if (identity)
                shared->targetLines = link::targetIdentityLines(*identity);
            done(std::move(*shared));
        });
}

} // namespace xlt::update
