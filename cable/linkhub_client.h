/* Interface of linkhub_client, the JTAG server's client library. C linkage and a fixed ABI, so
 * that any implementation can be put in place without rebuilding the program. */
#ifndef CABLEWRIGHT_LINKHUB_CLIENT_H
#define CABLEWRIGHT_LINKHUB_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
/* Callers declare the functions plainly: the import library supplies a stub for each, and a
 * test may define them itself, which dllimport declarations would not allow. */
#if defined(LINKHUB_CLIENT_BUILD)
#define HWL_API __declspec(dllexport)
#else
#define HWL_API
#endif
#else
#define HWL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t HWL_ERROR;            /* 0 = success */
typedef struct hwl_chain_s* HWL_CHAIN; /* opaque */
typedef void (*HWL_OUTPUT_CALLBACK)(void* context, uint32_t level, const char* text);

/* The codes the program and its stand-ins tell apart; error_name has the text of every code. */
enum {
    HWL_OK = 0,
    HWL_NO_SUCH_HARDWARE = 1,   /* no cable of that name */
    HWL_TIMEOUT = 2,            /* still connecting to the server(s) */
    HWL_INVALID_CHAIN = 33,     /* no such chain handle */
    HWL_LOCKED_ALREADY = 34,    /* the chain is locked by another client */
    HWL_NOT_LOCKED = 35,        /* a parameter call on a chain not locked */
    HWL_CHAIN_IN_USE = 36,      /* another client is using the chain */
    HWL_INVALID_PARAMETER = 45, /* no parameter of that name */
    HWL_LIST_TOO_SMALL = 47,    /* the count now says how many records are needed */
    HWL_COMMUNICATIONS_ERROR = 81,
    HWL_SERVER_ERROR = 82,
    HWL_OUT_OF_MEMORY = 83,
    HWL_HARDWARE_IN_USE = 85,      /* the cable is held by another program */
    HWL_HARDWARE_NOT_ATTACHED = 86 /* the cable was unplugged */
};

/* One cable, 32 bytes. Only the three named fields are defined; the rest is the library's. */
typedef struct {
    HWL_CHAIN chain; /* offset 0 */
    uint32_t usable; /* offset 8: non-zero for a cable that selection may consider */
    uint8_t reserved1[12];
    uint32_t virtual_hw; /* offset 24: zero for a cable that selection may consider */
    uint8_t reserved2[4];
} HWL_HARDWARE;

HWL_API void hwl_register_output_callback(HWL_OUTPUT_CALLBACK callback, void* context);
HWL_API HWL_ERROR hwl_get_hardware(uint32_t* count, HWL_HARDWARE* list, uint32_t timeout_ms);
HWL_API HWL_ERROR hwl_find_hardware(const char* name, HWL_HARDWARE* hardware, uint32_t timeout_ms);
HWL_API HWL_ERROR hwl_print_hardware_name(HWL_CHAIN chain, char* buffer, uint32_t capacity);
HWL_API HWL_ERROR hwl_lock_chain(HWL_CHAIN chain, uint32_t timeout_ms);
HWL_API HWL_ERROR hwl_unlock_chain(HWL_CHAIN chain);
HWL_API HWL_ERROR hwl_get_parameter(HWL_CHAIN chain, const char* name, char* buffer,
                                    uint32_t* length, uint32_t reserved);
HWL_API HWL_ERROR hwl_set_parameter(HWL_CHAIN chain, const char* name, uint32_t value);

#ifdef __cplusplus
}

static_assert(sizeof(HWL_HARDWARE) == 32, "HWL_HARDWARE is 32 bytes");
static_assert(offsetof(HWL_HARDWARE, chain) == 0, "chain handle at offset 0");
static_assert(offsetof(HWL_HARDWARE, usable) == 8, "usable word at offset 8");
static_assert(offsetof(HWL_HARDWARE, virtual_hw) == 24, "zero word at offset 24");
#endif

#endif
