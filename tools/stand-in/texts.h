// The text forms the service's answers are written in: GBK bytes, JSON
// strings (raw GBK or \u escapes), HTML attribute text, script strings and
// percent-encoded query values. The data set holds UTF-8; these turn it into
// the bytes that go over the wire, and query values back into bytes.
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_TEXTS_H_
#define TIEPIC_TOOLS_STAND_IN_TEXTS_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

// How non-ASCII characters travel inside a JSON string.
enum class JsonText {
  kGbk,      // raw GBK bytes; only single-byte characters are escaped
  kEscaped,  // pure ASCII: every other character as \uXXXX (UTF-16 units)
  kUtf8,     // raw UTF-8 bytes (today's answers); only single-byte characters escaped
};

// UTF-8 to GBK bytes (characters GBK lacks become '?').
std::string Gbk(std::string_view utf8);

// `utf8` as a quoted JSON string. Quote and backslash are escaped, control
// characters become \uXXXX (or \r, \n, \t), "/" becomes "\/" only when
// `escape_slashes`. In kGbk form a double-byte character is copied whole, so
// a trail byte 0x5C is never taken for a backslash.
std::string JsonString(std::string_view utf8, JsonText form, bool escape_slashes);

// Already-GBK text as the body of a JSON string (no quotes added), with the
// same rules as JsonString's kGbk form.
std::string JsonEscapeGbk(std::string_view gbk, bool escape_slashes);

// `utf8` with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view utf8);

// `utf8` as the inside of a double-quoted script string literal.
std::string ScriptEscape(std::string_view utf8);

// Every byte outside A-Z a-z 0-9 - _ . ~ as %XX (upper-case hex).
std::string PercentEncode(std::string_view bytes);

// %XX sequences to bytes and, in query values, "+" to a space; a malformed
// % stays as it is.
std::string PercentDecode(std::string_view text, bool plus_is_space = true);

// The name=value pairs of a query (the text after "?"), decoded, in order.
// A pair without "=" has an empty value.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);

// Returns true iff `bytes` is well-formed UTF-8.
bool IsUtf8(std::string_view bytes);

// `bytes` with every byte outside printable ASCII as \xHH, for log lines and
// comments that must stay ASCII.
std::string Printable(std::string_view bytes);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_TEXTS_H_
