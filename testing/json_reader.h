// A strict JSON reader for tests: it accepts exactly the grammar of RFC 8259 and nothing more,
// so that what the program writes is proven to be JSON, not just to look like it.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool boolean = false;
    std::string text;  // a number as written, or a string's content (\u00XX as that byte)
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in the order written

    // The member named key, or null.
    const JsonValue* find(const std::string& key) const;
    // The member names in order.
    std::vector<std::string> keys() const;
};

// Reads text as one JSON value with optional white space around it. False, with `error`
// naming the offset, when text is not exactly that.
bool read_json(const std::string& text, JsonValue& value, std::string& error);
