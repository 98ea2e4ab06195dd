#include "testing/json_reader.h"

#include <set>

bool read_json(const std::string& text, Json& value, std::string& error) {
    // The parser keeps the last of two equal keys without a word; the callback sees each key.
    std::vector<std::set<std::string>> open_objects;
    std::string repeated;
    Json::parser_callback_t note_keys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            open_objects.emplace_back();
        } else if (event == Json::parse_event_t::object_end) {
            open_objects.pop_back();
        } else if (event == Json::parse_event_t::key &&
                   !open_objects.back().insert(parsed.get<std::string>()).second) {
            repeated = parsed.get<std::string>();
        }
        return true;
    };
    value = Json::parse(text, note_keys, /*allow_exceptions=*/false);
    error = value.is_discarded() ? "not JSON"
            : repeated.empty()   ? ""
                                 : "repeated key \"" + repeated + "\"";
    return error.empty();
}

std::vector<std::string> keys_of(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& member : object.items()) {
        keys.push_back(member.key());
    }
    return keys;
}

std::string text_of(const Json& value) {
    if (!value.is_string()) {
        return value.dump();
    }
    // U+0080 to U+00FF, two bytes in UTF-8, back to the one byte each stands for.
    const std::string& utf8 = value.get_ref<const std::string&>();
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            bytes += static_cast<char>(((lead & 0x03) << 6) | (utf8[++i] & 0x3F));
        } else {
            bytes += utf8[i];
        }
    }
    return bytes;
}

std::string text_of(const Json& object, const std::string& key) {
    auto member = object.find(key);
    return member != object.end() ? text_of(*member) : "(missing)";
}
