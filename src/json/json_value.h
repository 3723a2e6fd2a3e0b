// The JSON object of the runtime: a handle holding one parsed JSON value, and
// the seven operations the download logic reads the service's answers with.
// Texts are GBK/GB18030 bytes, not UTF-8: \u escapes become GB18030 bytes
// while parsing, and double-byte characters pass through parser and printer
// untouched. The dialect is lenient (comments, either quote, unquoted keys,
// case-insensitive literals, dates between "#", Base64 binary between "<"
// and ">"); the printed form is compact.
//
// Lookups never fail loudly: a wrong kind, a missing key, a null member or a
// bad index gives an empty handle, which prints "null".
//
// Thread safety: a value and every handle to it may be used by one thread at
// a time (the reference count is not atomic); values of different parses are
// independent.
#ifndef TIEPIC_JSON_JSON_VALUE_H_
#define TIEPIC_JSON_JSON_VALUE_H_

#include <cstdint>
#include <string_view>

#include "runtime/value.h"

namespace json {

using rt::Bytes;
using rt::Text;

// The kinds of JSON values, with the numbers kind tests compare against.
enum class JsonKind : uint8_t {
  kNull = 0,
  kBoolean = 1,
  kDouble = 2,
  kInt = 3,
  kObject = 4,
  kArray = 5,
  kString = 6,
  kInt64 = 7,
  kDate = 8,
  kBinary = 9,
};

// A calendar time as a date value holds it (always UTC).
struct JsonDate {
  int16_t year = 0;
  uint8_t month = 0;    // 1..12
  uint8_t weekday = 0;  // 0 = Sunday
  uint8_t day = 0;      // 1..31
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint16_t millisecond = 0;
  friend bool operator==(const JsonDate&, const JsonDate&) = default;
};

namespace json_internal {
struct Document;
struct Node;
}  // namespace json_internal

// One slot holding a reference to a JSON value, or empty. Copying a handle
// takes another reference; destroying or releasing it drops one. A value
// stays alive while any handle refers to it, so a member or item handle
// remains valid after its parent's handle is released.
class JsonHandle {
 public:
  JsonHandle() = default;
  JsonHandle(const JsonHandle& other);
  JsonHandle(JsonHandle&& other) noexcept;
  JsonHandle& operator=(const JsonHandle& other);
  JsonHandle& operator=(JsonHandle&& other) noexcept;
  ~JsonHandle();

  // Returns true iff the handle holds no value.
  bool empty() const { return node_ == nullptr; }

  // The held value's kind (kNull for an empty handle) and contents; an
  // accessor of another kind gives 0, false or empty (AsInt64 also reads an
  // int).
  JsonKind kind() const;
  bool AsBoolean() const;
  int32_t AsInt() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  // The string's bytes after escapes were undone; valid while the value is.
  std::string_view AsString() const;
  JsonDate AsDate() const;
  Bytes AsBinary() const;

 private:
  friend struct JsonAccess;
  JsonHandle(json_internal::Document* document, const json_internal::Node* node);
  void Drop();

  json_internal::Document* document_ = nullptr;
  const json_internal::Node* node_ = nullptr;
};

// The handle becomes empty (a value it held is released).
void JsonInitialise(JsonHandle& handle);

// Drops the handle's reference, if it holds one.
void JsonRelease(JsonHandle& handle);

// Drops the old value and parses `text` (which ends at its first NUL byte,
// as every text does). Returns true iff a value was parsed; on a parse error
// the handle is left empty. Text after a complete value is ignored.
bool JsonParse(JsonHandle& handle, std::string_view text);

// A new handle holding the member `key` of the held object, or an empty
// handle when the handle holds no object, the key is absent, or the
// member's value is null.
JsonHandle JsonGetMember(const JsonHandle& handle, std::string_view key);

// The member at `path` of the held object: member names joined by "."
// ("data.pic_list"), and alternatives joined by "|", the first that is
// there taken ("img.screen.waterurl|img.original.waterurl"). Empty as
// JsonGetMember is when no alternative is there.
JsonHandle JsonGetPath(const JsonHandle& handle, std::string_view path);

// The number of entries of the held array, else 0.
int JsonArrayLength(const JsonHandle& handle);

// A new handle holding entry `index` (0-based) of the held array, or an empty
// handle when the handle holds no array or the index is out of range.
JsonHandle JsonGetItem(const JsonHandle& handle, int index);

// The compact printed form of the held value ("null" for an empty handle): a
// string comes back between double quotes with its escapes. Printing a
// parsed value cannot fail.
Text JsonToText(const JsonHandle& handle);

// The printed form of the member at `path` (as JsonGetPath finds it) with
// every double quote taken out: a string's characters (its escapes as
// printed), a number's digits, "null" when it is not there.
Text JsonPathText(const JsonHandle& handle, std::string_view path);

// `text` as a JSON string: between double quotes, with the escapes the
// printed form of a parsed string has, so that JsonParse reads it back as
// `text`. Lets a writer compose an object the JSON object reads.
Text JsonQuote(std::string_view text);

}  // namespace json

#endif  // TIEPIC_JSON_JSON_VALUE_H_
