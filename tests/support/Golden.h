#pragma once

// Golden files: a test's output kept in its folder's data/ beside the test, read by a person
// once and compared byte for byte ever after. Run a test with XLT_UPDATE_GOLDEN=1 to write the
// file anew from what the code prints now (then read the difference before committing it).

#include <QFile>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace xlt::test {

inline void expectGolden(const char *name, const std::string &text)
{
    QFile file(QStringLiteral(XLT_TEST_DATA_DIR "/") + QLatin1String(name));
    if (std::getenv("XLT_UPDATE_GOLDEN")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no golden file " << name;
    const QByteArray golden = file.readAll();
    // Line by line, so that a failure names the first line that differs.
    std::size_t line = 1;
    std::size_t at = 0;
    const std::string expected = golden.toStdString();
    while (at < expected.size() || at < text.size()) {
        const std::size_t e = std::min(expected.find('\n', at), expected.size());
        const std::size_t t = std::min(text.find('\n', at), text.size());
        ASSERT_EQ(text.substr(at, t - at), expected.substr(at, e - at)) << name << " line " << line;
        if (e != t)
            break;
        at = e + 1;
        ++line;
    }
    EXPECT_EQ(text, expected) << name;
}

} // namespace xlt::test
