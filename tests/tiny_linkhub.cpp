// A second, minimal implementation of the client library: one cable named "Tiny" whose ROM
// bytes are all 0xA5. Tests put it in place of the stand-in without rebuilding cablewright.
#include <cstring>

#include "cable/linkhub_client.h"

namespace {

HWL_OUTPUT_CALLBACK g_callback = nullptr;
void* g_context = nullptr;
HWL_CHAIN const kChain = reinterpret_cast<HWL_CHAIN>(0x7100);

}  // namespace

extern "C" {

void hwl_register_output_callback(HWL_OUTPUT_CALLBACK callback, void* context) {
    g_callback = callback;
    g_context = context;
}

HWL_ERROR hwl_get_hardware(uint32_t* count, HWL_HARDWARE* list, uint32_t) {
    if (*count < 1) {
        *count = 1;
        return HWL_LIST_TOO_SMALL;
    }
    *count = 1;
    list[0] = HWL_HARDWARE{};
    list[0].chain = kChain;
    list[0].usable = 1;
    return HWL_OK;
}

HWL_ERROR hwl_find_hardware(const char* name, HWL_HARDWARE* hardware, uint32_t) {
    if (g_callback != nullptr) {
        g_callback(g_context, 2, "tiny library in use");
    }
    if (std::strcmp(name, "Tiny") != 0) {
        return HWL_NO_SUCH_HARDWARE;
    }
    *hardware = HWL_HARDWARE{};
    hardware->chain = kChain;
    hardware->usable = 1;
    return HWL_OK;
}

HWL_ERROR hwl_print_hardware_name(HWL_CHAIN, char* buffer, uint32_t capacity) {
    if (capacity < 5) {
        return 45;
    }
    std::memcpy(buffer, "Tiny", 5);
    return HWL_OK;
}

HWL_ERROR hwl_lock_chain(HWL_CHAIN chain, uint32_t) { return chain == kChain ? HWL_OK : 33; }

HWL_ERROR hwl_unlock_chain(HWL_CHAIN chain) { return chain == kChain ? HWL_OK : 33; }

HWL_ERROR hwl_get_parameter(HWL_CHAIN, const char* name, char* buffer, uint32_t* length,
                            uint32_t) {
    if (std::strcmp(name, "InternalEepromContents") != 0) {
        return 45;
    }
    uint32_t n = *length < 512 ? *length : 512;
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i] = (i % 2 == 0) ? 'A' : '5';
    }
    *length = n;
    return HWL_OK;
}

HWL_ERROR hwl_set_parameter(HWL_CHAIN, const char*, uint32_t) { return HWL_OK; }

}  // extern "C"
