#include "testing/json_reader.h"

#include <cstring>

namespace {

struct Reader {
    const std::string& text;
    std::size_t at = 0;
    std::string error;

    bool fail(const char* why) {
        if (error.empty()) {
            error = std::string(why) + " at offset " + std::to_string(at);
        }
        return false;
    }
    bool more() const { return at < text.size(); }
    char peek() const { return more() ? text[at] : '\0'; }
    void skip_space() {
        while (more() && std::strchr(" \t\r\n", text[at]) != nullptr) {
            ++at;
        }
    }
    bool literal(const char* word) {
        std::size_t n = std::strlen(word);
        if (text.compare(at, n, word) != 0) {
            return fail("unknown literal");
        }
        at += n;
        return true;
    }
    bool digits() {
        std::size_t start = at;
        while (more() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        return at > start || fail("digit expected");
    }
    bool number(JsonValue& v) {
        std::size_t start = at;
        if (peek() == '-') {
            ++at;
        }
        if (peek() == '0') {
            ++at;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++at;
            if (!digits()) {
                return false;
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at;
            if (peek() == '+' || peek() == '-') {
                ++at;
            }
            if (!digits()) {
                return false;
            }
        }
        v.kind = JsonValue::kNumber;
        v.text = text.substr(start, at - start);
        return true;
    }
    bool hex4(unsigned& code) {
        code = 0;
        for (int i = 0; i < 4; ++i, ++at) {
            char c = peek();
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) {
                return fail("bad \\u escape");
            }
            code = code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    static void put_utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool string(std::string& out) {
        if (peek() != '"') {
            return fail("string expected");
        }
        ++at;
        while (true) {
            if (!more()) {
                return fail("unterminated string");
            }
            auto c = static_cast<unsigned char>(text[at++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return fail("control character in string");
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            char e = peek();
            ++at;
            const char* simple = std::strchr("\"\\/bfnrt", e);
            if (e != '\0' && simple != nullptr && e != 'u') {
                out += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!hex4(code)) {
                    return false;
                }
                if (code >= 0xD800 && code < 0xDC00) {
                    unsigned low = 0;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low >= 0xE000) {
                        return fail("lone surrogate");
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                // Bytes written as \u00XX come back as those bytes.
                if (code < 0x100) {
                    out += static_cast<char>(code);
                } else {
                    put_utf8(out, code);
                }
            } else {
                return fail("bad escape");
            }
        }
    }
    bool value(JsonValue& v, int depth) {
        if (depth > 64) {
            return fail("too deep");
        }
        skip_space();
        char c = peek();
        bool ok = false;
        if (c == '{') {
            ok = object(v, depth);
        } else if (c == '[') {
            ok = array(v, depth);
        } else if (c == '"') {
            v.kind = JsonValue::kString;
            ok = string(v.text);
        } else if (c == 't' || c == 'f') {
            v.kind = JsonValue::kBool;
            v.boolean = c == 't';
            ok = literal(c == 't' ? "true" : "false");
        } else if (c == 'n') {
            ok = literal("null");
        } else {
            ok = number(v);
        }
        skip_space();
        return ok;
    }
    bool array(JsonValue& v, int depth) {
        v.kind = JsonValue::kArray;
        ++at;
        skip_space();
        if (peek() == ']') {
            ++at;
            return true;
        }
        while (true) {
            v.items.emplace_back();
            if (!value(v.items.back(), depth + 1)) {
                return false;
            }
            char c = peek();
            ++at;
            if (c == ']') {
                return true;
            }
            if (c != ',') {
                return fail("',' or ']' expected");
            }
        }
    }
    bool object(JsonValue& v, int depth) {
        v.kind = JsonValue::kObject;
        ++at;
        skip_space();
        if (peek() == '}') {
            ++at;
            return true;
        }
        while (true) {
            skip_space();
            std::string key;
            if (!string(key)) {
                return false;
            }
            if (v.find(key) != nullptr) {
                return fail("repeated key");
            }
            skip_space();
            if (peek() != ':') {
                return fail("':' expected");
            }
            ++at;
            v.members.emplace_back(key, JsonValue{});
            if (!value(v.members.back().second, depth + 1)) {
                return false;
            }
            char c = peek();
            ++at;
            if (c == '}') {
                return true;
            }
            if (c != ',') {
                return fail("',' or '}' expected");
            }
        }
    }
};

}  // namespace

const JsonValue* JsonValue::find(const std::string& key) const {
    for (const auto& member : members) {
        if (member.first == key) {
            return &member.second;
        }
    }
    return nullptr;
}

std::vector<std::string> JsonValue::keys() const {
    std::vector<std::string> names;
    for (const auto& member : members) {
        names.push_back(member.first);
    }
    return names;
}

bool read_json(const std::string& text, JsonValue& value, std::string& error) {
    Reader reader{text, 0, ""};
    value = JsonValue{};
    bool ok = reader.value(value, 0);
    if (ok && reader.more()) {
        ok = reader.fail("text after the value");
    }
    error = reader.error;
    return ok;
}
