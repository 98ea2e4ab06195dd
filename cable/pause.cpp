#include "cable/pause.h"

#include <chrono>
#include <thread>

namespace {

PauseHook g_pause_hook = nullptr;

}  // namespace

void pause_ms(std::uint32_t ms) {
    if (g_pause_hook != nullptr) {
        g_pause_hook(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void set_pause_hook(PauseHook hook) {
    g_pause_hook = hook;
}
