#pragma once

#include "core/Notifier.h"

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
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto &entry : messages)
            out.push_back(entry.text);
        return out;
    }
    std::vector<Entry> messages;
};

} // namespace xlt::test
