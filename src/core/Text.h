#pragma once

// Texts in XLT are single-byte: every byte maps one to one onto a Latin-1 character and back.
// Window-free code keeps such texts in std::string (one char per byte); windows convert at the
// boundary with toQString()/fromQString(). The Qt-free helpers are in ByteText.h.

#include "ByteText.h"

#include <QString>
#include <string>
#include <string_view>

namespace xlt::core {

/// The Latin-1 character of every byte.
inline QString toQString(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

/// One byte per character; a character outside Latin-1 becomes '?'.
inline std::string fromQString(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace xlt::core
