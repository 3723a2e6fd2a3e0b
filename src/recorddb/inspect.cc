// Dump and consistency check of a database's files.
#include "recorddb/inspect.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "platform/codepage.h"
#include "recorddb/aux_file.h"
#include "recorddb/btree_check.h"
#include "recorddb/coding.h"
#include "recorddb/database.h"
#include "recorddb/errors.h"

namespace recorddb {
namespace {

struct Table {
  File file;
  TableLayout layout;
  int64_t physical = 0;  // whole records present
  int64_t tail = 0;      // bytes of a partial record at the end
};

int32_t LoadTable(const rt::Text& path, Table* t) {
  if (int err = t->file.Open(platform::ToUtf8(path), File::Mode::kRead); err != 0) {
    return FileErrorCode(err);
  }
  if (int32_t code = ReadTableLayout(t->file, &t->layout); code != 0) return code;
  t->physical = CountWholeRecords(t->file, t->layout);
  const int64_t size = t->file.Size();
  t->tail = size - t->layout.data_start - t->physical * t->layout.header.record_size;
  return 0;
}

struct Index {
  File file;
  IndexHeader header;
  KeyFormat format;
};

int32_t LoadIndex(const rt::Text& path, const Table& table, Index* x) {
  if (x->file.Open(platform::ToUtf8(path), File::Mode::kRead) != 0) {
    return kErrIndexOpenFailed;
  }
  uint8_t raw[kIndexHeaderSize];
  if (x->file.ReadAt(0, raw, sizeof raw) != 0 || std::memcmp(raw, "WENX", 4) != 0) {
    return kErrNotIndex;
  }
  DecodeIndexHeader(raw, &x->header);
  if (int32_t code = CheckIndexHeader(x->header, x->file.Size(), table.layout.header.version);
      code != 0) {
    return code;
  }
  return MatchIndexFields(table.layout, x->header, &x->format);
}

std::string FieldText(const FieldDescriptor& f, const uint8_t* p) {
  std::ostringstream s;
  switch (f.type) {
    case kTypeByte:
      s << int{p[0]};
      break;
    case kTypeShort:
      s << static_cast<int16_t>(GetU16(p));
      break;
    case kTypeInt:
      s << GetI32(p);
      break;
    case kTypeLong:
      s << static_cast<int64_t>(GetU64(p));
      break;
    case kTypeFloat:
      s << GetF32(p);
      break;
    case kTypeDouble:
    case kTypeDateTime:
      s << std::setprecision(17) << GetF64(p);
      break;
    case kTypeBool:
      s << (p[0] ? "true" : "false");
      break;
    case kTypeReference:
      s << GetU32(p);
      break;
    case kTypeText: {
      const char* c = reinterpret_cast<const char*>(p);
      s << '"' << platform::ToUtf8(std::string_view(c, strnlen(c, f.declared))) << '"';
      break;
    }
    default:
      s << "block " << GetI32(p);
  }
  return s.str();
}

void DumpTree(Index& x, const std::vector<FieldDescriptor>& fields, std::ostream& out) {
  const IndexHeader& h = x.header;
  out << "index: blocks " << h.blocks << ", free " << h.free_count << " (first "
      << h.first_free << "), root " << h.root << ", block size " << h.block_size
      << ", key size " << h.key_size << ", M " << MaxKeys(h.block_size, h.key_size)
      << ", collation " << h.collation << ", flags " << h.key_flags << "\n";
  FilePager pager(&x.file, h.block_size);
  const int32_t es = h.key_size + 4;
  const int32_t max_keys = MaxKeys(h.block_size, h.key_size);
  for (int32_t b = 1; b < h.blocks; ++b) {
    const uint8_t* node = pager.Fetch(b);
    if (node == nullptr) break;
    const int32_t kind = GetU16(node), count = GetU16(node + 2);
    out << "block " << b << (b == h.root ? " (root)" : "") << ": "
        << (kind == 1 ? "inner" : kind == 0 ? "leaf" : "kind " + std::to_string(kind))
        << ", " << count << " keys\n";
    // M entries fill the block; a node claiming more would send the reads
    // past its end, so only the first M are shown.
    if (count > max_keys) out << "  claims more than M (" << max_keys << ") keys\n";
    for (int32_t i = 0; i < std::min(count, max_keys); ++i) {
      const uint8_t* e = node + 4 + i * es;
      out << "  " << (kind == 1 ? "child " : "record ") << GetI32(e) << "  key";
      for (const KeyPart& part : x.format.parts()) {
        FieldDescriptor f{"", part.type, 0, part.width};
        out << ' ' << FieldText(f, e + 4 + part.offset);
      }
      out << "\n";
    }
    if (kind == 1 && count <= max_keys) {
      out << "  child " << GetI32(node + 4 + count * es) << "\n";
    }
    pager.Discard();
  }
  (void)fields;
}

}  // namespace

CheckResult CheckDatabaseFiles(const rt::Text& db, const rt::Text& index) {
  CheckResult result;
  Table t;
  if ((result.error = LoadTable(db, &t)) != 0) return result;
  const MainHeader& h = t.layout.header;
  auto& problems = result.problems;
  if (t.physical != h.count) {
    problems.push_back("the header counts " + std::to_string(h.count) +
                       " records, the file holds " + std::to_string(t.physical));
  }
  if (t.tail != 0) {
    problems.push_back("a partial record of " + std::to_string(t.tail) + " bytes at the end");
  }
  const int64_t count = std::min<int64_t>(h.count, t.physical);
  const int64_t rs = h.record_size;
  std::vector<uint8_t> records(static_cast<size_t>(count * rs));
  if (t.file.ReadAt(t.layout.data_start, records.data(), records.size()) != 0) {
    result.error = kErrReadRecord;
    return result;
  }
  for (int64_t k = 0, last = 0; k < count; ++k) {
    const int32_t seq = GetI32(records.data() + k * rs);
    if (seq <= last || seq >= h.next_sequence) {
      problems.push_back("record " + std::to_string(k) + " has sequence number " +
                         std::to_string(seq) + " out of order");
      break;
    }
    last = seq;
  }
  for (const FieldDescriptor& f : t.layout.fields) {
    if (f.type != kTypeBytes && f.type != kTypeMemo) continue;
    File aux;
    if (aux.Open(platform::ToUtf8(WithExtension(db, "EDT")), File::Mode::kRead) != 0) {
      problems.push_back("the auxiliary file is missing");
    } else if (int32_t code = CheckAuxFile(aux, h.version, true); code != 0) {
      problems.push_back("auxiliary file: error " + std::to_string(code));
    }
    break;
  }
  if (index.empty()) return result;
  Index x;
  if ((result.error = LoadIndex(index, t, &x)) != 0) return result;
  std::vector<uint8_t> keys(static_cast<size_t>(count * x.header.key_size));
  for (int64_t k = 0; k < count; ++k) {
    x.format.Extract(records.data() + k * rs, keys.data() + k * x.header.key_size);
  }
  FilePager pager(&x.file, x.header.block_size);
  TreeReport report =
      CheckTree(&pager, x.format, x.header, keys.data(), static_cast<int32_t>(count));
  for (std::string& p : report.problems) problems.push_back("index: " + std::move(p));
  return result;
}

std::vector<std::string> CheckFiles(const rt::Text& db, const rt::Text& index) {
  CheckResult r = CheckDatabaseFiles(db, index);
  if (r.error != 0) r.problems.insert(r.problems.begin(), "error " + std::to_string(r.error));
  return r.problems;
}

int32_t DumpDatabaseFiles(const rt::Text& db, const rt::Text& index, std::ostream& out) {
  Table t;
  if (int32_t code = LoadTable(db, &t); code != 0) return code;
  const MainHeader& h = t.layout.header;
  out << "version 0x" << std::hex << h.version << std::dec << ", created "
      << std::setprecision(17) << h.created << ", count " << h.count << ", next sequence "
      << h.next_sequence << ", record size " << h.record_size << ", data start "
      << t.layout.data_start << "\n";
  for (size_t i = 0; i < t.layout.fields.size(); ++i) {
    const FieldDescriptor& f = t.layout.fields[i];
    out << "field " << i << ": " << platform::ToUtf8(f.name) << ", type " << f.type
        << ", offset " << f.offset << ", size " << FieldWidth(f.type, f.declared) << "\n";
  }
  const int64_t rs = h.record_size;
  std::vector<uint8_t> record(static_cast<size_t>(rs));
  for (int64_t k = 0; k < t.physical; ++k) {
    if (t.file.ReadAt(t.layout.data_start + k * rs, record.data(), record.size()) != 0) {
      return kErrReadRecord;
    }
    out << "#" << k << " seq " << GetI32(record.data());
    for (const FieldDescriptor& f : t.layout.fields) {
      out << "  " << platform::ToUtf8(f.name) << "=" << FieldText(f, record.data() + f.offset);
    }
    out << (k >= h.count ? "  (beyond the count)" : "") << "\n";
  }
  if (t.tail != 0) out << "partial record: " << t.tail << " bytes\n";
  if (index.empty()) return 0;
  Index x;
  if (int32_t code = LoadIndex(index, t, &x); code != 0) return code;
  DumpTree(x, t.layout.fields, out);
  return 0;
}

}  // namespace recorddb
