// Fuzzes the capture file reader. Input: the text of a capture file. Checks: the same result
// whether the text comes in one piece or in two cut at any point (the first byte chooses where);
// at most one cut line; every reply holds 1 to 255 bytes and lies inside the bytes read; a
// capture that was read, written again with the writer's lines, reads back to the same header
// fields and replies; a refusal says why.
#include "FuzzCheck.h"
#include "monitor/CaptureFile.h"

#include <string_view>

using namespace xlt;

namespace {

monitor::CaptureRead readPieces(std::string_view text, std::size_t cut)
{
    monitor::CaptureReader reader;
    if (reader.feed(text.substr(0, cut)))
        reader.feed(text.substr(cut));
    return reader.finish();
}

bool sameHeader(const monitor::CaptureHeader &a, const monitor::CaptureHeader &b)
{
    const auto fields = [](const std::optional<link::Identity> &id) {
        return id ? id->interfaceCode + '|' + id->firmware + '|' + id->modNumber : std::string();
    };
    return a.version == b.version && a.started == b.started && a.portName == b.portName &&
           a.deviceNode == b.deviceNode && a.identity.has_value() == b.identity.has_value() &&
           fields(a.identity) == fields(b.identity) && a.program == b.program;
}

bool sameReplies(const monitor::Capture &a, const monitor::Capture &b)
{
    return a.bytes == b.bytes && a.ends == b.ends;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const monitor::CaptureRead whole = readPieces(text, text.size());
    const monitor::CaptureRead split = readPieces(text, size ? data[0] % (size + 1) : 0);
    fuzz::check(whole.capture.has_value() == whole.reason.empty(), "a capture or a reason");
    fuzz::check(whole.reason == split.reason, "pieces read as the whole");
    if (!whole.capture)
        return 0;
    const monitor::Capture &capture = *whole.capture;
    fuzz::check(sameHeader(capture.header, split.capture->header) &&
                    sameReplies(capture, *split.capture) &&
                    capture.cutLines == split.capture->cutLines,
                "pieces read as the whole");
    fuzz::check(capture.cutLines <= 1, "one cut line at most");
    fuzz::check(capture.count() <= monitor::kMaxCaptureReplies, "replies within the bound");
    std::string written = monitor::captureHeaderText(capture.header);
    for (std::size_t k = 0; k < capture.count(); ++k) {
        const auto reply = capture.reply(k);
        fuzz::check(!reply.empty() && reply.size() <= 255, "a reply of 1 to 255 bytes");
        written += monitor::captureReplyLine(reply);
    }
    fuzz::check(capture.count() == 0 || capture.ends.back() == capture.bytes.size(),
                "every byte in a reply");
    const monitor::CaptureRead again = readPieces(written, written.size());
    fuzz::check(again.capture && sameHeader(capture.header, again.capture->header) &&
                    sameReplies(capture, *again.capture) && again.capture->cutLines == 0,
                "written again, it reads back the same");
    return 0;
}
