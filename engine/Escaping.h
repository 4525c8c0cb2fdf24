#pragma once

#include <string>
#include <string_view>

// File names come from the user's photo folder and may hold any byte but "/" and NUL.
// Each helper encodes for one context of a page; names made of letters, digits, "-",
// "_" and "." pass every one of them unchanged.
namespace vantrel {

// Percent-encodes every byte that a relative URL cannot carry as itself: blanks, "%",
// "#", "?", ":", quotes, "<", ">", "\", control characters, bytes of non-ASCII names.
std::string UrlEncode(std::string_view text);

// Escapes &, ', ", < and > for an attribute value.
std::string HtmlAttribute(std::string_view text);

// Escapes a text for a single-quoted script string.
std::string ScriptString(std::string_view text);

// A link written into a single-quoted attribute: href='...', src='...'.
inline std::string UrlAttribute(std::string_view link) {
    return HtmlAttribute(UrlEncode(link));
}

// A link in a script string inside an attribute: onClick="window.location='...'".
inline std::string ScriptUrlAttribute(std::string_view link) {
    return HtmlAttribute(ScriptString(UrlEncode(link)));
}

} // namespace vantrel
