// Index keys: the index fields' bytes as stored in the record, one after
// another, and the order in which the B-tree keeps them. Also the
// conversion of a caller's value into a field's stored bytes, shared by
// appending (record) and finding (key).
//
// Thread safety: KeyFormat is immutable after construction.
#ifndef TIEPIC_RECORDDB_KEY_H_
#define TIEPIC_RECORDDB_KEY_H_

#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace recorddb {

struct KeyPart {
  int32_t type = 0;    // field type code
  int32_t offset = 0;  // inside the key
  int32_t width = 0;   // bytes
  int32_t record_offset = 0;  // where the field lies in the record
};

// Key flags of an index: they change how text fields compare.
inline constexpr int32_t kKeyIgnoreCase = 1;
inline constexpr int32_t kKeyIgnoreSpaces = 2;

class KeyFormat {
 public:
  KeyFormat() = default;
  // `flags`: kKeyIgnoreCase folds ASCII letters, kKeyIgnoreSpaces skips
  // spaces, in text fields only.
  explicit KeyFormat(std::vector<KeyPart> parts, int32_t flags = 0);

  // <0, 0 or >0 as key `a` sorts before, with or after key `b`. Field by
  // field, the first difference deciding: integers by value (type 1 and 9
  // unsigned), floats and dates by value with NaN after every number, false
  // before true, texts byte by byte as unsigned values up to a zero byte.
  // Comparing GBK texts byte by byte gives the order of their character
  // codes, as a trail byte is never zero and never taken for a lead byte
  // while the two texts agree.
  int Compare(const uint8_t* a, const uint8_t* b) const;

  // Copies the key out of a record.
  void Extract(const uint8_t* record, uint8_t* key) const;

  int32_t size() const { return size_; }
  const std::vector<KeyPart>& parts() const { return parts_; }

 private:
  std::vector<KeyPart> parts_;
  int32_t flags_ = 0;
  int32_t size_ = 0;
  bool single_text_ = false;
};

// Stores `value` as field bytes of `type` (text cut or zero-padded to
// `width`; numbers converted among the numeric kinds). Byte arrays and memo
// texts are not handled here. Returns true iff the value's kind fits the
// field's type.
bool EncodeFieldValue(const rt::Value& value, int32_t type, int32_t width, uint8_t* out);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_KEY_H_
