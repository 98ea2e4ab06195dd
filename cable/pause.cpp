#include "cable/pause.h"

#include <chrono>
#include <thread>

void pause_ms(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
