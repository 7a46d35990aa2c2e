#include "DpcFiles.h"
#include "update/Identity.h"
#include "update/UpdateFile.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace xlt;
using update::FileCheck;

namespace {

struct FileCase
{
    const char *name;
    std::vector<std::uint8_t> bytes;
    FileCheck check;
    std::string message; ///< expected refusal text; empty when silent or accepted
};

std::vector<std::uint8_t> withByte(std::vector<std::uint8_t> bytes, std::size_t at,
                                   std::uint8_t value)
{
    bytes[at] = value;
    return bytes;
}

const std::string kNotValid = "C:\\fw\\x.dpc is not a valid XLT OS Update file";

std::vector<FileCase> fileCases()
{
    return {
        {"Empty", {}, FileCheck::Empty, ""},
        {"TwoBytes", {'X', 'L'}, FileCheck::NoIdentity, ""},
        {"LowerCaseT", withByte(test::makeDpc(15), 2, 't'), FileCheck::BadMagic, kNotValid},
        {"ShortWithoutMagic", {'A', 'B', 'C', 'D'}, FileCheck::BadMagic, kNotValid},
        {"MagicButOneByteShortOfIdentity", test::makeDpc(15, 2172), FileCheck::NoIdentity, ""},
        {"MagicAt2173Bytes", test::makeDpc(15, 2173), FileCheck::Accepted, ""},
        {"HeaderBytes3And4Ignored", withByte(withByte(test::makeDpc(15), 3, 0xFF), 4, 0xFF),
         FileCheck::Accepted, ""},
        {"BlockCountZero", test::makeDpc(0, 4000), FileCheck::NoBlocks,
         kNotValid + ": its block count is 0"},
        {"BlockCountAboveLimit", test::makeDpc(32769, 4000), FileCheck::TooManyBlocks,
         kNotValid + ": its block count 32769 is above 32768"},
        {"BlockCount65535", test::makeDpc(65535, 4000), FileCheck::TooManyBlocks,
         kNotValid + ": its block count 65535 is above 32768"},
        {"OneByteShortOfLastBlock", test::makeDpc(16, 2175), FileCheck::MissingBlocks,
         kNotValid + ": its 16 blocks need 2176 bytes, but the file has 2175"},
        {"At2173BytesSixteenBlocksDoNotFit", test::makeDpc(16, 2173), FileCheck::MissingBlocks,
         kNotValid + ": its 16 blocks need 2176 bytes, but the file has 2173"},
        {"ExactlyLastBlock", test::makeDpc(16, 2176), FileCheck::Accepted, ""},
        {"TrailingBytesAllowed", test::makeDpc(16, 3000), FileCheck::Accepted, ""},
        {"MaximumBlockCount", test::makeDpc(32768), FileCheck::Accepted, ""},
    };
}

class OpenUpdateFile : public ::testing::TestWithParam<FileCase>
{
};

TEST_P(OpenUpdateFile, ChecksInOrder)
{
    const FileCase &c = GetParam();
    const auto result = update::openUpdateFile("C:\\fw\\x.dpc", c.bytes);
    EXPECT_EQ(result.check, c.check);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(result.image.has_value(), c.check == FileCheck::Accepted);
    if (result.image) {
        EXPECT_EQ(result.image->FileData, c.bytes);
        EXPECT_EQ(result.image->NumBlocks, update::blockCountOf(c.bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, OpenUpdateFile, ::testing::ValuesIn(fileCases()),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(UpdateFile, BlockCountIsLowByteFirst)
{
    auto bytes = test::makeDpc(1, 128 + 128 * 528);
    bytes[5] = 16;
    bytes[6] = 2;
    const auto result = update::openUpdateFile("f.dpc", bytes);
    ASSERT_TRUE(result.image);
    EXPECT_EQ(result.image->NumBlocks, 528);
}

TEST(UpdateFile, BlockNIsTheBytesAfterTheHeader)
{
    const auto bytes = test::makeDpc(300);
    const auto image = update::openUpdateFile("f.dpc", bytes).image;
    ASSERT_TRUE(image);
    for (int n : {0, 15, 255, 299}) {
        const auto block = image->block(n);
        ASSERT_EQ(block.size(), 128u);
        const auto first = bytes.begin() + 128 + 128 * n;
        EXPECT_TRUE(std::equal(block.begin(), block.end(), first)) << "block " << n;
    }
}

struct IdentityCase
{
    const char *name;
    std::string bytes; ///< the 13 bytes at offset 2160
    std::string interfaceCode, firmware, modNumber;
};

class FileIdentity : public ::testing::TestWithParam<IdentityCase>
{
};

TEST_P(FileIdentity, FieldsAsShown)
{
    const IdentityCase &c = GetParam();
    const auto image = update::openUpdateFile("f.dpc", test::makeDpc(16, 0, c.bytes)).image;
    ASSERT_TRUE(image);
    EXPECT_EQ(image->file.interfaceCode, c.interfaceCode);
    EXPECT_EQ(image->file.firmware, c.firmware);
    EXPECT_EQ(image->file.modNumber, c.modNumber);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, FileIdentity,
    ::testing::Values(
        IdentityCase{"Plain", "PR01 01230045", "PR01", "01.23", "0045"},
        // Four characters only: the byte after the interface is never part of it.
        IdentityCase{"FiveCharacterNameIsCut", "ID0030123ABCD", "ID00", "01.23", "ABCD"},
        IdentityCase{"ZeroBytesAreCharacters", std::string("PR\0\x31-\0\x31\x32\x33M\0\0\xE9", 13),
                     std::string("PR\0\x31", 4), std::string("\0\x31.\x32\x33", 5),
                     std::string("M\0\0\xE9", 4)}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(Identity, ShortReplyGivesShortFieldsNotOtherBytes)
{
    const std::uint8_t reply[] = {'P', 'R', '0', '1', ' ', '0', '1', '2'};
    const auto withPoint = update::parseIdentity(reply, update::FirmwareStyle::WithPoint);
    EXPECT_EQ(withPoint.interfaceCode, "PR01");
    EXPECT_EQ(withPoint.firmware, "01.2");
    EXPECT_EQ(withPoint.modNumber, "");
    const auto asIs = update::parseIdentity(reply, update::FirmwareStyle::AsIs);
    EXPECT_EQ(asIs.firmware, "012");
}

TEST(UpdateFile, ReadWholeFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.dpc"));
    const auto bytes = test::makeDpc(20);
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(update::readWholeFile(path), bytes);
    EXPECT_FALSE(update::readWholeFile(dir.filePath(QStringLiteral("missing.dpc"))));
    EXPECT_FALSE(update::readWholeFile(dir.path()));
}

} // namespace
