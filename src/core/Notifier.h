#pragma once

#include <string>

namespace xlt::core {

enum class Icon { Exclamation, Information };

/// Tells the user something: a modal message box titled "XLT" with one OK button in the
/// windows, a line on stderr in the command-line tool, a recorded entry in tests.
/// message() returns when the user has dismissed the message. Texts are Latin-1 bytes.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void message(Icon icon, const std::string &text) = 0;
};

} // namespace xlt::core
