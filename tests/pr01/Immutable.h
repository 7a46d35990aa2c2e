#pragma once

// Makes a folder unwritable for the length of a test, also for root (which ignores permission
// bits): `chattr +i`. Undone on destruction, whatever the test's outcome.

#include <QString>

#include <cstdlib>
#include <string>

namespace xlt::test {

class ImmutableDir
{
public:
    explicit ImmutableDir(const QString &path) : m_path(path.toStdString())
    {
        m_ok = std::system(("chattr +i '" + m_path + "' 2>/dev/null").c_str()) == 0;
    }
    ~ImmutableDir()
    {
        if (m_ok) {
            const int rc = std::system(("chattr -i '" + m_path + "' 2>/dev/null").c_str());
            static_cast<void>(rc);
        }
    }
    ImmutableDir(const ImmutableDir &) = delete;
    ImmutableDir &operator=(const ImmutableDir &) = delete;

    /// False when chattr is missing or refused (not root, or a file system without the flag).
    bool ok() const { return m_ok; }

private:
    std::string m_path;
    bool m_ok = false;
};

inline constexpr const char *kNoImmutable =
    "cannot make a folder unwritable here (needs root and chattr +i on this file system)";

} // namespace xlt::test
