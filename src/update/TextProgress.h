#pragma once

#include "Updater.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace xlt::update {

/// One progress line for a terminal, for block `value` (1-based, the block under way) of
/// `maximum`: a bar of 30 cells filled as the window's bar (value of maximum), its percentage,
/// the block under way, the elapsed time and the estimated time left (the mean time of the
/// blocks already sent times the blocks left, plus the first-stage pause while it is ahead;
/// "--:--" before the first block is sent). Times are m:ss, or h:mm:ss from an hour on.
/// Example: "[###############...............]  50%  block 150/300  0:12 elapsed  0:12 left".
std::string progressLine(int value, int maximum, std::chrono::milliseconds elapsed);

/// m:ss below an hour, h:mm:ss from an hour on.
std::string clockText(std::chrono::milliseconds duration);

/// A ProgressSink that writes progressLine() to a stream, and puts the first-stage text and
/// the outcome on lines of their own. On a terminal the line is redrawn in place ("\r") at
/// each block; elsewhere (a log file, a pipe) it is written as a line of its own at each tenth
/// of the blocks (10 %, 20 %, ... 100 %), so a log gets ten lines instead of one per block.
class TextProgress final : public ProgressSink
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Output { Terminal, Lines };
    TextProgress(std::FILE *out, Output output,
                 std::function<Clock::time_point()> now = &Clock::now);
    /// Terminal when `out` is a terminal, otherwise Lines.
    static Output outputOf(std::FILE *out);

    void setLabel(const std::string &text) override;
    void setMaximum(int maximum) override;
    void setValue(int value) override;
    void setBusy(bool) override {}

private:
    void endLine();

    std::FILE *m_out;
    Output m_output;
    std::function<Clock::time_point()> m_now;
    int m_tenthsShown = 0; ///< in Lines output, the tenths already written
    Clock::time_point m_start{};
    int m_maximum = 0;
    bool m_lineOpen = false;
};

} // namespace xlt::update
