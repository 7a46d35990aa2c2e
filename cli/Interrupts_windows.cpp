#include "Interrupts.h"

#include <atomic>
#include <windows.h>

namespace xlt::cli {

namespace {

std::atomic<bool> g_interrupted{false};

/// Runs on a thread of its own. The first request is taken (TRUE); after it the next one goes
/// to the default handler, which ends the process.
BOOL WINAPI onConsoleEvent(DWORD /*event*/)
{
    return g_interrupted.exchange(true) ? FALSE : TRUE;
}

} // namespace

void catchInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted()
{
    return g_interrupted.load();
}

} // namespace xlt::cli
