// The checker's JSON: a parsed document dumped as --dump-ini does must be valid
// JSON, and every string must decode back to the very bytes it was made from.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check.h"
#include "json.h"
#include "settings/ini_document.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_json: %s\n", what);
        std::abort();
    }
}

// A strict JSON reader: true when text[at..] holds one value; strings decoded with
// \u00XX as the byte XX (how the writer escapes bytes that are not UTF-8).
struct Reader {
    const std::string& Text;
    std::size_t At = 0;

    void Space() {
        while (At < Text.size() && (Text[At] == ' ' || Text[At] == '\n' || Text[At] == '\t' || Text[At] == '\r')) ++At;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (Text.compare(At, w.size(), w) != 0) return false;
        At += w.size();
        return true;
    }
    bool String(std::string& out) {
        if (At >= Text.size() || Text[At] != '"') return false;
        ++At;
        while (At < Text.size()) {
            const unsigned char c = static_cast<unsigned char>(Text[At++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out.push_back(static_cast<char>(c));
                continue;
            }
            if (At >= Text.size()) return false;
            const char e = Text[At++];
            switch (e) {
                case '"': out.push_back('"'); break;
                case '\\': out.push_back('\\'); break;
                case '/': out.push_back('/'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'u': {
                    if (At + 4 > Text.size()) return false;
                    const unsigned long code = std::strtoul(Text.substr(At, 4).c_str(), nullptr, 16);
                    if (code > 0xFF) return false;  // the writer escapes single bytes only
                    out.push_back(static_cast<char>(code));
                    At += 4;
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool Value() {
        Space();
        if (At >= Text.size()) return false;
        const char c = Text[At];
        if (c == '"') {
            std::string ignored;
            return String(ignored);
        }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++At;
            Space();
            if (At < Text.size() && Text[At] == close) return ++At, true;
            for (;;) {
                if (c == '{') {
                    std::string key;
                    Space();
                    if (!String(key)) return false;
                    Space();
                    if (At >= Text.size() || Text[At++] != ':') return false;
                }
                if (!Value()) return false;
                Space();
                if (At >= Text.size()) return false;
                if (Text[At] == ',') { ++At; continue; }
                if (Text[At] == close) return ++At, true;
                return false;
            }
        }
        return Literal("true") || Literal("false") || Literal("null");
    }
};

// Every byte of the writer's output is valid UTF-8.
bool IsUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        std::size_t length = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                          : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (length == 0 || at + length > text.size()) return false;
        for (std::size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
        }
        at += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string quoted = zk::json::String(bytes);
    Require(IsUtf8(quoted), "a string is not UTF-8");
    Reader reader{quoted};
    std::string decoded;
    Require(reader.String(decoded) && reader.At == quoted.size(), "a string is not JSON");
    Require(decoded == bytes, "a string does not decode to its bytes");

    zk::IniDocument document;
    document.Parse(zk::TranslateTextMode(bytes));
    const std::string dump = zk::check::DumpDocumentJson(true, document);
    Require(IsUtf8(dump), "the dump is not UTF-8");
    Reader whole{dump};
    Require(whole.Value(), "the dump is not JSON");
    whole.Space();
    Require(whole.At == dump.size(), "text after the dump's value");
    return 0;
}
