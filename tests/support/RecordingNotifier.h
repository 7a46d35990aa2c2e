#pragma once

#include "core/Notifier.h"

#include <functional>
#include <string>
#include <vector>

namespace xlt::test {

/// Records every message instead of showing it.
class RecordingNotifier final : public core::Notifier
{
public:
    struct Entry
    {
        core::Icon icon;
        std::string text;
    };
    void message(core::Icon icon, const std::string &text) override
    {
        messages.push_back({icon, text});
        if (onMessage)
            onMessage(messages.back());
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto &entry : messages)
            out.push_back(entry.text);
        return out;
    }
    std::vector<Entry> messages;
    /// Runs after each message is recorded, as a box would while it is open.
    std::function<void(const Entry &)> onMessage;
};

} // namespace xlt::test
