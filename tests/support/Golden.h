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
    // GoogleTest shows the lines that differ.
    EXPECT_EQ(text, file.readAll().toStdString()) << name;
}

} // namespace xlt::test
