// The text commands of the logic over GBK byte strings. Lengths and positions
// count bytes and positions start at 1; the scanning commands step over a
// double-byte character (a byte 0x80 or above and the byte after it) as one,
// and a lead byte directly before the end of the text ends any scan. An empty
// result is the empty (null) text. No command keeps its arguments.
//
// Thread safety: pure functions.
#ifndef TIEPIC_RUNTIME_TEXT_COMMANDS_H_
#define TIEPIC_RUNTIME_TEXT_COMMANDS_H_

#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace rt {

int TextLength(std::string_view text);
Text LeftText(std::string_view text, int n);
Text RightText(std::string_view text, int n);
Text MidText(std::string_view text, int start, int n);
Text Character(uint8_t code);

// 1-based position of the first occurrence of `sought` at or after `start`,
// or -1. An empty `sought` gives 1 when the searched region is not empty.
int FindText(std::string_view text, std::string_view sought, std::optional<int> start = {},
             bool ignore_case = false);
// 1-based position of the last occurrence lying wholly before `start` (the
// whole text when omitted), or -1.
int FindTextReverse(std::string_view text, std::string_view sought,
                    std::optional<int> start = {}, bool ignore_case = false);

Text ToLowerCase(std::string_view text);
// Removes leading and trailing runs of 0x20 and of the ideographic space
// A1 A1; tabs and line breaks stay.
Text TrimText(std::string_view text);
Text RemoveSpaces(std::string_view text);

// Replaces up to `count` (all when omitted) non-overlapping occurrences of
// `sought` at or after `start`; matching folds ASCII case unless
// `case_sensitive`.
Text ReplaceText(std::string_view text, std::string_view sought,
                 std::string_view replacement = {}, std::optional<int> start = {},
                 std::optional<int> count = {}, bool case_sensitive = false);

// Pieces of `text` between occurrences of `delimiter` ("," when omitted),
// at most `max_count` of them (a negative maximum counts as 0). Empty pieces
// are empty texts; a trailing empty piece is not returned.
std::vector<Text> SplitText(std::string_view text,
                            std::optional<std::string_view> delimiter = {},
                            std::optional<int> max_count = {});

Text Spaces(int n);

// Control characters (below 0x20, and 0x7F) in a text that names or lists
// something from the service -- a hostile album name or picture id -- so that
// it cannot break a line, a tab-separated field or a file name. None of them
// is ever the trail byte of a double-byte character.
bool IsControlCharacter(char c);
// Removes every control character from `text`.
void RemoveControlCharacters(Text& text);
// The text with every control character shown as '?': one line, whatever it held.
Text OneLine(std::string_view text);

// The logic's inline operations: concatenation, and byte-wise comparison of
// unsigned bytes giving -1, 0 or 1.
Text JoinTexts(std::initializer_list<std::string_view> texts);
int CompareTexts(std::string_view a, std::string_view b);

}  // namespace rt

#endif  // TIEPIC_RUNTIME_TEXT_COMMANDS_H_
