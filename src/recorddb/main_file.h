// The main file of a record database: a fixed header, the field
// descriptors, then fixed-length records. Little-endian throughout.
//
//   OFFSET       SIZE        MEANING
//   0            4           magic "WEDB" ("WCDB": password-protected variant)
//   4            4           i32 format version, 0x10000
//   8            8           f64 creation time, OLE Automation date, local time
//   16           4           i32 record count
//   20           4           i32 next record sequence number, 1 in a new file
//   24           4           i32 record size = 4 + sum of the field sizes
//   28           84          zero
//   112          4           i32 field count n (at least 1)
//   116          72 * n      field descriptors, in field order
//   116 + 72n    size*count  records, record 0 first
//
// Field descriptor (72 bytes):
//   0            20          name, at most 16 bytes, zero within the first 17
//   20           4           i32 type code 1..12
//   24           4           i32 offset of the field inside the record (first: 4)
//   28           4           i32 declared size for type 10, else 0
//   32           40          zero
//
// Record: i32 sequence number, then each field at its offset. A text field
// holds its bytes cut or zero-padded to the declared size.
#ifndef TIEPIC_RECORDDB_MAIN_FILE_H_
#define TIEPIC_RECORDDB_MAIN_FILE_H_

#include <cstdint>
#include <vector>

#include "recorddb/file.h"
#include "runtime/value.h"

namespace recorddb {

inline constexpr int32_t kVersion = 0x10000;
inline constexpr int64_t kMainHeaderSize = 112;
inline constexpr int64_t kCountOffset = 16;
inline constexpr int64_t kFieldCountOffset = 112;
inline constexpr int64_t kFieldsOffset = 116;
inline constexpr int64_t kDescriptorSize = 72;
inline constexpr int kMaxNameBytes = 16;

enum FieldType : int32_t {
  kTypeByte = 1,
  kTypeShort = 2,
  kTypeInt = 3,
  kTypeLong = 4,
  kTypeFloat = 5,
  kTypeDouble = 6,
  kTypeBool = 7,
  kTypeDateTime = 8,
  kTypeReference = 9,
  kTypeText = 10,
  kTypeBytes = 11,
  kTypeMemo = 12,
};

struct FieldDescriptor {
  rt::Text name;
  int32_t type = kTypeText;
  int32_t offset = 4;     // inside the record
  int32_t declared = 0;   // text size for type 10, else 0
};

struct MainHeader {
  char magic[4] = {'W', 'E', 'D', 'B'};
  int32_t version = kVersion;
  double created = 0;
  int32_t count = 0;
  int32_t next_sequence = 1;
  int32_t record_size = 0;
};

struct TableLayout {
  MainHeader header;
  std::vector<FieldDescriptor> fields;
  int64_t data_start = 0;  // 116 + 72 * field count
};

// Bytes the field takes in a record: the declared size for text, else the
// type's fixed width (4 for auxiliary-file references). 0 for a bad type.
int32_t FieldWidth(int32_t type, int32_t declared);

// Returns true iff `name` is a valid field name or alias: 1 to 16 bytes; a
// half- or full-width letter or a Chinese character first; then letters,
// digits, Chinese characters and '_'.
bool IsValidName(const rt::Text& name);

// The current local time as an OLE Automation date.
double OleNow();

// --- writer (main_file_writer.cc) ---

// The header, field count and descriptors of a new, empty table; the offsets
// and record size are computed from the fields' types and sizes.
std::vector<uint8_t> EncodeNewTable(const std::vector<FieldDescriptor>& fields,
                                    double created);
void EncodeDescriptor(const FieldDescriptor& field, uint8_t out[kDescriptorSize]);
void EncodeMainHeader(const MainHeader& header, uint8_t out[kMainHeaderSize]);

// Brings the header count in line with the whole records present and cuts
// a partly written last record. `physical` is from CountWholeRecords.
// Returns 0 or a file error code.
int32_t RepairRecordCount(const File& file, TableLayout* layout, int64_t physical);

// --- reader (main_file_reader.cc) ---

void DecodeMainHeader(const uint8_t in[kMainHeaderSize], MainHeader* header);
FieldDescriptor DecodeDescriptor(const uint8_t in[kDescriptorSize]);

// Reads and checks header and descriptors. Returns 0, or -22 (short, wrong
// magic, bad values), -21 (password-protected variant), -23 (too new), or a
// file error code.
int32_t ReadTableLayout(const File& file, TableLayout* layout);

// Whole records between the data start and the end of the file, or -1 when
// the length cannot be read.
int64_t CountWholeRecords(const File& file, const TableLayout& layout);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_MAIN_FILE_H_
