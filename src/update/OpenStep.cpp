#include "OpenStep.h"

#include "Identity.h"
#include "core/Text.h"
#include "link/DeviceContext.h"
#include "link/USB_COM.h"

namespace xlt::update {

namespace {

void printAll(Panel &panel, const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        panel.print(line);
}

void showDeviceIdentity(link::DeviceContext &context, Panel &panel)
{
    if (link::refuseWhileHeld(context))
        return;
    if (link::FindXLTPort(context) == 0)
        return;
    if (const auto identity = readDeviceIdentity(context, FirmwareStyle::WithPoint))
        printAll(panel, targetIdentityLines(*identity));
}

} // namespace

OpenStepResult runOpenStep(link::DeviceContext &context, Panel &panel, const QString &path)
{
    OpenStepResult result;
    auto bytes = readWholeFile(path);
    if (!bytes || bytes->empty())
        return result;

    panel.clear();
    OpenResult opened = openUpdateFile(core::fromQString(path), std::move(*bytes));
    result.check = opened.check;
    if (!opened.message.empty())
        context.notifier.message(core::Icon::Exclamation, opened.message);
    if (opened.check != FileCheck::Accepted) {
        result.kind = OpenStepResult::Kind::Refused;
        return result;
    }

    printAll(panel, fileIdentityLines(opened.image->file));
    showDeviceIdentity(context, panel);
    result.kind = OpenStepResult::Kind::Accepted;
    result.image = std::move(opened.image);
    return result;
}

} // namespace xlt::update
