// The text-to-image decoder shares its object file with the cable operation, which calls the
// client library. Fuzz targets never touch a cable, so these stand-ins stop the process if one
// is ever reached.
#define LINKHUB_CLIENT_BUILD 1
#include <cstdlib>

#include "cable/linkhub_client.h"

extern "C" {

HWL_ERROR hwl_find_hardware(const char*, HWL_HARDWARE*, uint32_t) {
    std::abort();
}

HWL_ERROR hwl_lock_chain(HWL_CHAIN, uint32_t) {
    std::abort();
}

HWL_ERROR hwl_unlock_chain(HWL_CHAIN) {
    std::abort();
}

HWL_ERROR hwl_get_parameter(HWL_CHAIN, const char*, char*, uint32_t*, uint32_t) {
    std::abort();
}

HWL_ERROR hwl_set_parameter(HWL_CHAIN, const char*, uint32_t) {
    std::abort();
}

}  // extern "C"
