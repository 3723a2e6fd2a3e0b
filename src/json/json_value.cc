// Handles, reference counting and the lookups of the JSON object; the parser
// and the printer live in json_parser.cc and json_printer.cc.
#include "json/json_value.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "json/json_document.h"

namespace json {

using rt::Bytes;
using rt::Text;

using json_internal::Document;
using json_internal::Node;

namespace json_internal {

void* Arena::Allocate(size_t n) {
  n = (n + 7) & ~size_t{7};
  if (n > left_) {
    // A large request gets a block of its own so that the current block's
    // free space stays usable.
    if (n > kBlockSize / 4) {
      blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(n));
      return blocks_.back().get();
    }
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kBlockSize));
    next_ = blocks_.back().get();
    left_ = kBlockSize;
  }
  void* p = next_;
  next_ += n;
  left_ -= n;
  return p;
}

void Arena::Shrink(void* start, size_t allocated, size_t used) {
  allocated = (allocated + 7) & ~size_t{7};
  used = (used + 7) & ~size_t{7};
  auto* begin = static_cast<std::byte*>(start);
  if (begin + allocated != next_ || used > allocated) return;
  next_ = begin + used;
  left_ += allocated - used;
}

char* Arena::CopyBytes(const char* data, size_t n) {
  if (n == 0) return nullptr;
  char* p = static_cast<char*>(Allocate(n));
  std::memcpy(p, data, n);
  return p;
}

}  // namespace json_internal

// The one place that builds handles from a document and a node.
struct JsonAccess {
  static JsonHandle Make(Document* document, const Node* node) {
    return JsonHandle(document, node);
  }
  static const Node* NodeOf(const JsonHandle& h) { return h.node_; }
  static Document* DocumentOf(const JsonHandle& h) { return h.document_; }
};

JsonHandle::JsonHandle(Document* document, const Node* node) : document_(document), node_(node) {
  if (document_ != nullptr) ++document_->references;
}

JsonHandle::JsonHandle(const JsonHandle& other) : JsonHandle(other.document_, other.node_) {}

JsonHandle::JsonHandle(JsonHandle&& other) noexcept
    : document_(std::exchange(other.document_, nullptr)),
      node_(std::exchange(other.node_, nullptr)) {}

JsonHandle& JsonHandle::operator=(const JsonHandle& other) {
  if (this != &other) {
    JsonHandle copy(other);
    *this = std::move(copy);
  }
  return *this;
}

JsonHandle& JsonHandle::operator=(JsonHandle&& other) noexcept {
  if (this != &other) {
    Drop();
    document_ = std::exchange(other.document_, nullptr);
    node_ = std::exchange(other.node_, nullptr);
  }
  return *this;
}

JsonHandle::~JsonHandle() { Drop(); }

void JsonHandle::Drop() {
  if (document_ != nullptr && --document_->references == 0) delete document_;
  document_ = nullptr;
  node_ = nullptr;
}

JsonKind JsonHandle::kind() const { return node_ ? node_->kind : JsonKind::kNull; }

bool JsonHandle::AsBoolean() const { return kind() == JsonKind::kBoolean && node_->boolean; }

int32_t JsonHandle::AsInt() const { return kind() == JsonKind::kInt ? node_->int32 : 0; }

int64_t JsonHandle::AsInt64() const {
  if (kind() == JsonKind::kInt) return node_->int32;
  return kind() == JsonKind::kInt64 ? node_->int64 : 0;
}

double JsonHandle::AsDouble() const { return kind() == JsonKind::kDouble ? node_->real : 0.0; }

std::string_view JsonHandle::AsString() const {
  if (kind() != JsonKind::kString) return {};
  return {node_->chars, node_->count};
}

JsonDate JsonHandle::AsDate() const {
  return kind() == JsonKind::kDate ? *node_->date : JsonDate{};
}

Bytes JsonHandle::AsBinary() const {
  if (kind() != JsonKind::kBinary || node_->count == 0) return {};
  return Bytes(node_->bytes, node_->bytes + node_->count);
}

void JsonInitialise(JsonHandle& handle) { handle = JsonHandle(); }

void JsonRelease(JsonHandle& handle) { handle = JsonHandle(); }

bool JsonParse(JsonHandle& handle, std::string_view text) {
  // The old value goes only after the parse: `text` may lie inside it.
  std::unique_ptr<Document> document = json_internal::ParseDocument(text);
  if (!document) {
    handle = JsonHandle();
    return false;
  }
  Document* d = document.release();
  handle = JsonAccess::Make(d, &d->root);
  return true;
}

JsonHandle JsonGetMember(const JsonHandle& handle, std::string_view key) {
  const Node* node = JsonAccess::NodeOf(handle);
  if (node == nullptr || node->kind != JsonKind::kObject) return {};
  for (uint32_t i = 0; i < node->count; ++i) {
    const json_internal::Member& m = node->members[i];
    // An empty key is stored without bytes (a null pointer), so compare views.
    if (std::string_view(m.key, m.key_length) == key) {
      if (m.value.kind == JsonKind::kNull) return {};
      return JsonAccess::Make(JsonAccess::DocumentOf(handle), &m.value);
    }
  }
  return {};
}

JsonHandle JsonGetPath(const JsonHandle& handle, std::string_view path) {
  for (size_t start = 0; start <= path.size();) {
    const size_t bar = std::min(path.find('|', start), path.size());
    std::string_view names = path.substr(start, bar - start);
    JsonHandle at = handle;
    while (!at.empty()) {
      const size_t dot = std::min(names.find('.'), names.size());
      at = JsonGetMember(at, names.substr(0, dot));
      if (dot == names.size()) break;
      names.remove_prefix(dot + 1);
    }
    if (!at.empty()) return at;
    start = bar + 1;
  }
  return {};
}

int JsonArrayLength(const JsonHandle& handle) {
  const Node* node = JsonAccess::NodeOf(handle);
  if (node == nullptr || node->kind != JsonKind::kArray) return 0;
  return static_cast<int>(node->count);
}

JsonHandle JsonGetItem(const JsonHandle& handle, int index) {
  const Node* node = JsonAccess::NodeOf(handle);
  if (node == nullptr || node->kind != JsonKind::kArray || index < 0 ||
      static_cast<uint32_t>(index) >= node->count) {
    return {};
  }
  return JsonAccess::Make(JsonAccess::DocumentOf(handle), &node->items[index]);
}

Text JsonPathText(const JsonHandle& handle, std::string_view path) {
  Text text = JsonToText(JsonGetPath(handle, path));
  std::erase(text, '"');
  return text;
}

Text JsonToText(const JsonHandle& handle) {
  const Node* node = JsonAccess::NodeOf(handle);
  if (node == nullptr) return "null";
  Text out;
  json_internal::PrintNode(*node, out);
  return out;
}

}  // namespace json
