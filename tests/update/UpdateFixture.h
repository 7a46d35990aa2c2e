#pragma once

#include "DpcFiles.h"
#include "link/DeviceContext.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <gtest/gtest.h>

namespace xlt::test {

/// Records what an update shows.
class RecordingSink final : public update::ProgressSink
{
public:
    void setLabel(const std::string &text) override
    {
        label = text;
        labels.push_back(text);
    }
    void setMaximum(int m) override { maximum = m; }
    void setValue(int v) override { value = v; }
    void setBusy(bool b) override { busy = b; }

    std::string label;
    std::vector<std::string> labels;
    int maximum = -1;
    int value = -1;
    bool busy = false;
};

/// A device context over a FakeLink with one device port (COM5).
struct DeviceFixture : ::testing::Test
{
    DeviceFixture() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}}; }

    FakeLink link;
    FakePortSource ports;
    RecordingNotifier notifier;
    CountingPump pump;
    link::DeviceContext device{link, ports, notifier, pump};
};

inline update::UpdateImage imageOf(int numBlocks)
{
    auto result = update::openUpdateFile("f.dpc", makeDpc(numBlocks));
    return std::move(*result.image);
}

} // namespace xlt::test
