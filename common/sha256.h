// SHA-256 (FIPS 180-4), for names that must be the same for every run on a host.
#pragma once

#include <string>

// The SHA-256 digest of the bytes of text, as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string& text);
