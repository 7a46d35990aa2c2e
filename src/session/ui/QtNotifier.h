#pragma once

#include "core/Notifier.h"

namespace xlt::session {

/// Modal message boxes titled "XLT" with one OK button, parented to the active window.
class QtNotifier final : public core::Notifier
{
public:
    void message(core::Icon icon, const std::string &text) override;
};

} // namespace xlt::session
