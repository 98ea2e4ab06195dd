#include "cable/linkhub_binding.h"

#include "cable/library_loader.h"
#include "cable/linkhub_client.h"
#include "common/message.h"

namespace {

// The library's functions, bound once by bind_linkhub_client before the first call.
struct Bound {
    decltype(&hwl_register_output_callback) register_output_callback = nullptr;
    decltype(&hwl_get_hardware) get_hardware = nullptr;
    decltype(&hwl_find_hardware) find_hardware = nullptr;
    decltype(&hwl_print_hardware_name) print_hardware_name = nullptr;
    decltype(&hwl_lock_chain) lock_chain = nullptr;
    decltype(&hwl_unlock_chain) unlock_chain = nullptr;
    decltype(&hwl_get_parameter) get_parameter = nullptr;
    decltype(&hwl_set_parameter) set_parameter = nullptr;
};
Bound bound;

template <typename Function>
bool take(void* library, const char* name, Function& slot) {
    void* address = find_library_function(library, name);
    slot = reinterpret_cast<Function>(address);
    return address != nullptr;
}

}  // namespace

bool bind_linkhub_client() {
    void* library = load_client_library();
    Bound found;
    bool ok = library != nullptr &&
              take(library, "hwl_register_output_callback", found.register_output_callback) &&
              take(library, "hwl_get_hardware", found.get_hardware) &&
              take(library, "hwl_find_hardware", found.find_hardware) &&
              take(library, "hwl_print_hardware_name", found.print_hardware_name) &&
              take(library, "hwl_lock_chain", found.lock_chain) &&
              take(library, "hwl_unlock_chain", found.unlock_chain) &&
              take(library, "hwl_get_parameter", found.get_parameter) &&
              take(library, "hwl_set_parameter", found.set_parameter);
    if (!ok) {
        if (library != nullptr) {
            unload_client_library(library);
        }
        print_message("Unable to load %s\n", kClientLibraryFile);
        return false;
    }
    bound = found;
    return true;
}

// The program's calls land here and go on to the loaded library.
extern "C" {

void hwl_register_output_callback(HWL_OUTPUT_CALLBACK callback, void* context) {
    bound.register_output_callback(callback, context);
}

HWL_ERROR hwl_get_hardware(uint32_t* count, HWL_HARDWARE* list, uint32_t timeout_ms) {
    return bound.get_hardware(count, list, timeout_ms);
}

HWL_ERROR hwl_find_hardware(const char* name, HWL_HARDWARE* hardware, uint32_t timeout_ms) {
    return bound.find_hardware(name, hardware, timeout_ms);
}

HWL_ERROR hwl_print_hardware_name(HWL_CHAIN chain, char* buffer, uint32_t capacity) {
    return bound.print_hardware_name(chain, buffer, capacity);
}

HWL_ERROR hwl_lock_chain(HWL_CHAIN chain, uint32_t timeout_ms) {
    return bound.lock_chain(chain, timeout_ms);
}

HWL_ERROR hwl_unlock_chain(HWL_CHAIN chain) {
    return bound.unlock_chain(chain);
}

HWL_ERROR hwl_get_parameter(HWL_CHAIN chain, const char* name, char* buffer, uint32_t* length,
                            uint32_t reserved) {
    return bound.get_parameter(chain, name, buffer, length, reserved);
}

HWL_ERROR hwl_set_parameter(HWL_CHAIN chain, const char* name, uint32_t value) {
    return bound.set_parameter(chain, name, value);
}
}
