#include "cable/linkhub_binding.h"

// The program links against the client library; the loader has bound it before main.
bool bind_linkhub_client() {
    return true;
}
