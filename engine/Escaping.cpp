#include "Escaping.h"

namespace vantrel {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool StandsForItselfInUrl(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    // Unreserved characters and the sub-delimiters that mean nothing in a path segment;
    // "/" stays so that a navigation page name with a folder part still links.
    return c != 0 && std::string_view("-._~!$&()*+,;=@/").find(static_cast<char>(c)) !=
                         std::string_view::npos;
}

} // namespace

std::string UrlEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (StandsForItselfInUrl(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string HtmlAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ScriptString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' || c == '\'' || c == '"') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>') {
            // Hex escapes keep line breaks and "</script>" out of the string.
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace vantrel
