#include "TextProgress.h"

#include <algorithm>
#include <unistd.h>

namespace xlt::update {

using namespace std::chrono_literals;

namespace {

constexpr int kBarCells = 30;

std::string twoDigits(long long value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

} // namespace

std::string clockText(std::chrono::milliseconds duration)
{
    const long long seconds = std::max<long long>(0, duration.count() / 1000);
    const long long hours = seconds / 3600;
    const long long minutes = seconds / 60 % 60;
    const std::string tail = twoDigits(seconds % 60);
    if (hours > 0)
        return std::to_string(hours) + ":" + twoDigits(minutes) + ":" + tail;
    return std::to_string(minutes) + ":" + tail;
}

std::string progressLine(int value, int maximum, std::chrono::milliseconds elapsed)
{
    const int total = std::max(maximum, 1);
    const int shown = std::clamp(value, 0, total);
    const int cells = shown * kBarCells / total;
    const int percent = shown * 100 / total;
    std::string line = "[" + std::string(static_cast<std::size_t>(cells), '#') +
                       std::string(static_cast<std::size_t>(kBarCells - cells), '.') + "] ";
    line += (percent < 100 ? (percent < 10 ? "  " : " ") : "") + std::to_string(percent) + "%";
    line += "  block " + std::to_string(shown) + "/" + std::to_string(total);
    line += "  " + clockText(elapsed) + " elapsed  ";
    const int done = shown - 1; // the block under way is not sent yet
    if (done <= 0)
        return line + "--:-- left";
    // The first-stage pause is a fixed cost: keep it out of the mean time of a block, and count
    // it in the time left while it is still ahead.
    const auto pause = kPauseTick * kPauseTicks;
    const bool pauseDone = done >= kFirstStageBlocks;
    const bool pauseAhead = !pauseDone && total >= kFirstStageBlocks;
    const auto sending = std::max(elapsed - (pauseDone ? pause : 0ms), 0ms);
    const auto left = sending * (total - done) / done + (pauseAhead ? pause : 0ms);
    return line + clockText(left) + " left";
}

TextProgress::TextProgress(std::FILE *out, Output output, std::function<Clock::time_point()> now)
    : m_out(out)
    , m_output(output)
    , m_now(std::move(now))
{}

TextProgress::Output TextProgress::outputOf(std::FILE *out)
{
    return ::isatty(::fileno(out)) ? Output::Terminal : Output::Lines;
}

void TextProgress::setLabel(const std::string &text)
{
    // Block texts are in the bar already; the first-stage text and the outcome stand alone.
    if (text.empty() || text == kFirstStageText || text == kCompleteText) {
        endLine();
        if (!text.empty())
            std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }
}

void TextProgress::setMaximum(int maximum)
{
    m_maximum = maximum;
    m_start = m_now();
    m_tenthsShown = 0;
}

void TextProgress::setValue(int value)
{
    if (value <= 0)
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(m_now() - m_start);
    if (m_output == Output::Lines) {
        // The block under way is value; value - 1 are sent. A line at each new tenth sent.
        const int tenths = std::clamp(value - 1, 0, m_maximum) * 10 / std::max(m_maximum, 1);
        const bool last = value >= m_maximum;
        if (tenths <= m_tenthsShown && !(last && m_tenthsShown < 10))
            return;
        m_tenthsShown = last ? 10 : tenths;
        std::fprintf(m_out, "%s\n", progressLine(value, m_maximum, elapsed).c_str());
        std::fflush(m_out);
        return;
    }
    std::fprintf(m_out, "\r%s", progressLine(value, m_maximum, elapsed).c_str());
    std::fflush(m_out);
    m_lineOpen = true;
}

void TextProgress::endLine()
{
    if (m_lineOpen)
        std::fputc('\n', m_out);
    m_lineOpen = false;
}

} // namespace xlt::update
