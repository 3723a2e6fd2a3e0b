// The member changes of a service that reshaped its JSON answers: members
// renamed, members moved one level down under a new parent, and numbers
// written as strings or strings as numbers. One pass over the answer's text
// applies all of them, so that the album list, the guide and the picture
// list change alike.
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_MEMBER_CHANGES_H_
#define TIEPIC_TOOLS_STAND_IN_MEMBER_CHANGES_H_

#include <string>

#include "stand-in/data_set.h"

namespace standin {

// Returns true iff `style` changes any member of the JSON answers.
bool ChangesMembers(const AnswerStyle& style);

// `json` with the members of `style` changed, at every depth. For each
// member, in this order:
//   1. renamed_members: the first pair whose old name it has renames it;
//   2. nested_members: the first pair naming it (by its name after 1)
//      writes "NAME":VALUE as "PARENT":{"NAME":VALUE};
//   3. retyped_members: when named there (by its name after 1), a string
//      of decimal digits without a leading zero becomes that number and a
//      number becomes a string of its text; other values stay.
// Strings may hold raw GBK: a trail byte 0x5C is not taken for an escape.
// A text that is not one JSON value comes back unchanged; so does any text
// when the style changes no member (byte for byte, as nothing is parsed).
// Whitespace between tokens is dropped.
std::string ChangeMembers(std::string json, const AnswerStyle& style);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_MEMBER_CHANGES_H_
