// Fuzzes the .dpc checks of the open step (openUpdateFile). Input: the file's bytes. Checks:
// a file is accepted exactly when it has the magic, the identity, a block count from 1 to 32768
// and all its blocks; every block of an accepted image lies inside it (AddressSanitizer sees a
// read past it); refusals with a message name the file; identity lines are whole.
#include "FuzzCheck.h"
#include "update/UpdateFile.h"

#include <vector>

using namespace xlt;
using namespace xlt::update;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    const int count = blockCountOf(bytes);
    const bool magic = size >= 3 && data[0] == 'X' && data[1] == 'L' && data[2] == 'T';
    const bool expected = magic && size >= kMinimumFileBytes && count >= 1 &&
                          count <= kMaximumBlocks &&
                          size >= kHeaderBytes + kBlockBytes * std::size_t(count);

    const OpenResult opened = openUpdateFile("update.dpc", std::move(bytes));
    fuzz::check((opened.check == FileCheck::Accepted) == expected, "accepted exactly when valid");
    fuzz::check(opened.image.has_value() == (opened.check == FileCheck::Accepted),
                "an image exactly when accepted");
    fuzz::check(opened.message.empty() || opened.message.starts_with("update.dpc "),
                "a refusal names the file");
    if (size == 0)
        fuzz::check(opened.check == FileCheck::Empty, "an empty file is Empty");
    if (!opened.image)
        return 0;
    const UpdateImage &image = *opened.image;
    fuzz::check(image.NumBlocks == count, "the header's block count");
    // Every block the update sends, the last one included, lies inside the image.
    const std::size_t end = kHeaderBytes + kBlockBytes * static_cast<std::size_t>(image.NumBlocks);
    fuzz::check(image.FileData.size() >= end, "whole blocks");
    volatile std::uint8_t last = image.FileData[end - 1]; // the sanitizer sees the read
    (void)last;
    fuzz::check(fileIdentityLines(image.file).size() == 4, "four file identity lines");
    return 0;
}
