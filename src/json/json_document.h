// How parsed JSON values are stored: every value of one parse lives in one
// document, in an arena of large blocks, and the document is freed when the
// last handle to any of its values goes away. The reference count is kept
// per document rather than per value.
//
// Design note: per-value counts and allocations would free a released
// sibling earlier, but the logic always walks a whole page and drops it;
// one arena per page makes parsing several times faster and frees the page
// in a handful of calls. Internal to the JSON object.
#ifndef TIEPIC_JSON_JSON_DOCUMENT_H_
#define TIEPIC_JSON_JSON_DOCUMENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.h"

namespace json::json_internal {

struct Member;

// One value. Strings, members, items, dates and bytes live in the arena of
// the node's document.
struct Node {
  JsonKind kind = JsonKind::kNull;
  uint32_t count = 0;  // bytes of a string or binary; entries of an array or object
  union {
    bool boolean;
    int32_t int32;
    int64_t int64;
    double real;
    const char* chars;
    const unsigned char* bytes;
    const Node* items;
    const Member* members;
    const JsonDate* date;
  };
  Node() : int64(0) {}
};

// One object member; members keep the order of their last insertion.
struct Member {
  const char* key;
  uint32_t key_length;
  Node value;
  std::string_view key_view() const { return {key, key_length}; }
};

// A bump allocator over blocks that are only freed all together.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `n` bytes aligned for any node. REQUIRES: n > 0.
  void* Allocate(size_t n);
  // Gives back the unused end of the latest allocation, `allocated` bytes at
  // `start` of which only the first `used` are kept.
  void Shrink(void* start, size_t allocated, size_t used);
  char* CopyBytes(const char* data, size_t n);

 private:
  static constexpr size_t kBlockSize = 64 * 1024;
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* next_ = nullptr;
  size_t left_ = 0;
};

struct Document {
  Arena arena;
  Node root;
  int references = 0;
};

// Parses `text` into a new document. Returns null on a parse error.
std::unique_ptr<Document> ParseDocument(std::string_view text);

// Appends the compact printed form of `node` to `out`.
void PrintNode(const Node& node, std::string& out);

// Numbers: `token` is a run of the characters "0123456789.+-eE". Returns
// false when no number can be read from it.
bool ParseNumberToken(std::string_view token, Node* out);
void PrintDouble(double d, std::string& out);
void PrintInteger(int64_t v, std::string& out);

// The GB18030 bytes of one code point (a BMP unit or a combined
// supplementary character), appended to `out`.
void AppendGb18030(uint32_t code_point, std::string& out);
size_t WriteGb18030(uint32_t code_point, char* out);  // REQUIRES: room for 4 bytes

// The RFC 1123 form of dates ("Sun, 06 Nov 1994 08:49:37 GMT") and Base64.
// The readers return false on text they cannot read.
bool ReadHttpDate(std::string_view text, JsonDate* date);
void PrintHttpDate(const JsonDate& date, std::string& out);
bool DecodeBase64(std::string_view text, std::string* bytes);
void PrintBase64(const unsigned char* bytes, size_t n, std::string& out);

}  // namespace json::json_internal

#endif  // TIEPIC_JSON_JSON_DOCUMENT_H_
