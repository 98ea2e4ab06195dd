// The program's JSON read with nlohmann-json, strictly: keys stay in the order written, and an
// object that repeats a key is refused, since the program must never write one.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using Json = nlohmann::ordered_json;

// Reads text as one JSON value (RFC 8259). False, with `error` saying why, when it is not
// exactly that or an object in it repeats a key.
bool read_json(const std::string& text, Json& value, std::string& error);

// The member names of an object in the order written.
std::vector<std::string> keys_of(const Json& object);

// A value as text: a string's bytes (each \u00XX the program wrote is that byte again), a number
// as written, "true", "false" or "null".
std::string text_of(const Json& value);

// The member key of object as text_of gives it, or "(missing)".
std::string text_of(const Json& object, const std::string& key);
