#pragma once

// A small tmpfs for tests of full disks: mounted on a temporary folder (needs root, or the
// right to mount) and unmounted again at the end. Where mounting is not allowed, mounted() is
// false and the test skips with XLT_SKIP_WITHOUT_TMPFS.

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <sys/mount.h>

namespace xlt::test {

class SmallTmpfs
{
public:
    explicit SmallTmpfs(int kibibytes = 64)
    {
        const QByteArray options = "size=" + QByteArray::number(kibibytes) + "k";
        m_mounted = m_dir.isValid() && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(),
                                               "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    /// Fills the file system with a filler file until no byte is left, then frees `freeBytes`
    /// (tmpfs counts whole 4 KiB pages, so give a multiple of 4096).
    bool fillLeaving(qint64 freeBytes)
    {
        QFile filler(filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
        return filler.resize(filler.size() - freeBytes);
    }
    /// Removes the filler: the space comes back.
    bool freeAll() { return QFile::remove(filePath(QStringLiteral(".filler"))); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace xlt::test

#define XLT_SKIP_WITHOUT_TMPFS(fs)                                                                 \
    if (!(fs).mounted())                                                                           \
    GTEST_SKIP() << "cannot mount a small tmpfs (run as root to test a full disk)"
