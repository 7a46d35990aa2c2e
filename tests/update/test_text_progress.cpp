#include "update/TextProgress.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace xlt;
using namespace std::chrono_literals;

namespace {

TEST(TextProgress, Lines)
{
    const struct
    {
        int value, maximum;
        std::chrono::milliseconds elapsed;
        const char *line;
    } cases[] = {
        {1, 300, 0ms,
         "[..............................]   0%  block 1/300  0:00 elapsed  --:-- left"},
        // 150 blocks under way, 149 sent in 14.9 s: 151 left at 0.1 s each, and the pause.
        {150, 300, 14900ms,
         "[###############...............]  50%  block 150/300  0:14 elapsed  0:18 left"},
        // After the pause: 256 sent in 28.6 s of which 3 s were the pause.
        {257, 300, 28600ms,
         "[#########################.....]  85%  block 257/300  0:28 elapsed  0:04 left"},
        // Fewer than 256 blocks: no pause ahead.
        {100, 255, 9900ms,
         "[###########...................]  39%  block 100/255  0:09 elapsed  0:15 left"},
        {300, 300, 59800ms,
         "[##############################] 100%  block 300/300  0:59 elapsed  0:00 left"},
        {1, 1, 0ms, "[##############################] 100%  block 1/1  0:00 elapsed  --:-- left"},
        {2, 32768, 3700s,
         "[..............................]   0%  block 2/32768  1:01:40 elapsed  33677:11:43 left"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(update::progressLine(c.value, c.maximum, c.elapsed), c.line);
}

TEST(TextProgress, StageTextAndOutcomeStandOnTheirOwnLines)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    auto now = std::chrono::steady_clock::time_point{};
    {
        update::TextProgress progress(out, [&] { return now; });
        progress.setMaximum(2);
        progress.setValue(1);
        progress.setLabel(update::blockLabel(0, 2));
        now += 1s;
        progress.setValue(2);
        progress.setLabel(update::kFirstStageText);
        progress.setValue(0);
        progress.setLabel(update::kCompleteText);
    }
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    EXPECT_EQ(text, "\r" + update::progressLine(1, 2, 0ms) + "\r" + update::progressLine(2, 2, 1s) +
                        "\n" + update::kFirstStageText + "\n" + update::kCompleteText + "\n");
}

} // namespace
