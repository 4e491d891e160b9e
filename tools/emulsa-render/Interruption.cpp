#include "Interruption.h"

#include <csignal>
#include <cstdlib>

namespace Emulsa::RenderTool::Interruption {

namespace {

volatile bool g_running = true;
std::atomic<bool> g_stopMaking { false };

void onInterrupt(int)
{
    if (!g_running)
        std::_Exit(130);
    g_running = false;
    g_stopMaking = true;
}

} // namespace

void catchSignals()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

volatile bool* running()
{
    return &g_running;
}

std::atomic<bool>* stopMaking()
{
    return &g_stopMaking;
}

} // namespace Emulsa::RenderTool::Interruption
