// Reader and writer of profile (INI) files; see ini_file.h for the layout.
#include "platform/ini_file.h"

#include <sys/stat.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/file_system.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Position of the ASCII byte `c` in `s`, stepping over double-byte
// characters (whose trail byte may equal it), or npos.
size_t FindOutsideCharacters(std::string_view s, char c) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == c) return i;
    if (IsTextLeadByte(s[i])) ++i;
  }
  return std::string_view::npos;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Case-insensitive for ASCII letters; a byte 0x80 or above and the byte after
// it compare exactly.
bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (IsTextLeadByte(a[i])) {
      if (a[i] != b[i]) return false;
      if (++i < a.size() && a[i] != b[i]) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

struct Line {
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string text;        // the line as it stands, without its line end
  std::string name;        // section or key name, trimmed
  std::string value;       // entry value, trimmed
};

// Splits `data` into lines and classifies them.
std::vector<Line> Parse(std::string_view data) {
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  std::vector<Line> lines;
  while (!data.empty()) {
    size_t end = data.find('\n');
    std::string_view raw = data.substr(0, end);
    data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    lines.push_back(Line{Line::kOther, std::string(raw), {}, {}});
  }
  for (Line& line : lines) {
    std::string_view t = Trim(line.text);
    if (t.empty() || t.front() == ';') continue;
    if (t.front() == '[') {
      size_t close = FindOutsideCharacters(t, ']');
      line.kind = Line::kSection;
      line.name = Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
      continue;
    }
    size_t eq = t.find('=');
    line.kind = Line::kEntry;
    line.name = Trim(t.substr(0, eq));
    if (eq != std::string_view::npos) line.value = Trim(t.substr(eq + 1));
  }
  return lines;
}

// Index of the first header of `section`, or lines.size().
size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == Line::kSection && NamesEqual(lines[i].name, section)) return i;
  }
  return lines.size();
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Line::kSection) ++i;
  return i;
}

size_t FindKey(const std::vector<Line>& lines, size_t header, size_t end, std::string_view key) {
  for (size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind == Line::kEntry && NamesEqual(lines[i].name, key)) return i;
  }
  return end;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != s.npos; }

// A section name ending in half a character would take its closing ']' as
// the missing trail byte.
bool EndsInLoneLeadByte(std::string_view s) {
  size_t i = 0;
  while (i + 1 < s.size()) i += IsTextLeadByte(s[i]) ? 2 : 1;
  return i + 1 == s.size() && IsTextLeadByte(s[i]);
}

// Returns true iff the names and the value can stand in the file and be read
// back as they are: no line breaks anywhere, no ']' in a section name nor a
// lone lead byte at its end, no '=' in a key, and no key that would read as a
// comment or a section header.
bool Writable(std::string_view section, std::optional<std::string_view> key,
              std::optional<std::string_view> value) {
  if (section.empty() || HasLineBreak(section) || EndsInLoneLeadByte(section)) return false;
  if (FindOutsideCharacters(section, ']') != std::string_view::npos) return false;
  if (key) {
    if (key->empty() || HasLineBreak(*key) || key->front() == ';' || key->front() == '[') {
      return false;
    }
    if (FindOutsideCharacters(*key, '=') != std::string_view::npos) return false;
  }
  return !value || !HasLineBreak(*value);
}

bool Save(const std::string& path, const std::vector<Line>& lines) {
  std::string out;
  for (const Line& line : lines) {
    out += line.text;
    out += "\r\n";
  }
  return ReplaceFile(path, {out}, /*durable=*/true);
}

}  // namespace

std::string_view FitToBuffer(std::string_view value, size_t buffer_size) {
  if (buffer_size == 0) return {};
  if (value.size() <= buffer_size - 1) return value;
  size_t cut = 0;
  for (size_t i = 0; i < buffer_size - 1;) {
    size_t width = IsTextLeadByte(value[i]) ? 2 : 1;
    if (i + width > buffer_size - 1) break;
    i += width;
    cut = i;
  }
  return value.substr(0, cut);
}

std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key, size_t buffer_size) {
  section = Trim(section);
  key = Trim(key);
  std::optional<std::string> data = ReadWholeFile(path);
  if (!data) return std::nullopt;
  std::vector<Line> lines = Parse(*data);
  size_t header = FindSection(lines, section);
  if (header == lines.size()) return std::nullopt;
  size_t end = SectionEnd(lines, header);
  size_t at = FindKey(lines, header, end, key);
  if (at == end) return std::nullopt;
  return std::string(FitToBuffer(Unquote(lines[at].value), buffer_size));
}

std::optional<std::vector<ProfileEntry>> ReadProfileEntries(const std::string& path) {
  std::optional<std::string> data = ReadWholeFile(path);
  if (!data) return std::nullopt;
  std::vector<ProfileEntry> entries;
  std::string section;
  int number = 0;
  for (const Line& line : Parse(*data)) {
    ++number;
    if (line.kind == Line::kSection) {
      section = line.name;
      entries.push_back({section, {}, {}, number, ProfileEntry::kSection});
    } else if (line.kind == Line::kEntry) {
      const bool has_equals = FindOutsideCharacters(line.text, '=') != std::string::npos;
      entries.push_back({section, line.name, std::string(Unquote(line.value)), number,
                         has_equals ? ProfileEntry::kEntry : ProfileEntry::kNoEquals});
    }
  }
  return entries;
}

bool WriteProfileString(const std::string& path, std::string_view section,
                        std::optional<std::string_view> key,
                        std::optional<std::string_view> value) {
  section = Trim(section);
  if (key) key = Trim(*key);
  if (!Writable(section, key, value)) return false;
  std::optional<std::string> data = ReadWholeFile(path);
  bool removing = !key || !value;
  if (!data) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return false;  // there but unreadable
    if (removing) return true;
    data.emplace();
  }
  std::vector<Line> lines = Parse(*data);
  size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    if (removing) return true;
    if (!lines.empty() && !Trim(lines.back().text).empty()) lines.push_back(Line{});
    std::string section_line = "[";
    section_line.append(section).push_back(']');
    lines.push_back(Line{Line::kSection, std::move(section_line), {}, {}});
    lines.push_back(Line{Line::kEntry, std::string(*key) + "=" + std::string(*value), {}, {}});
    return Save(path, lines);
  }
  size_t end = SectionEnd(lines, header);
  if (!key) {
    lines.erase(lines.begin() + static_cast<ptrdiff_t>(header),
                lines.begin() + static_cast<ptrdiff_t>(end));
    return Save(path, lines);
  }
  size_t at = FindKey(lines, header, end, *key);
  if (!value) {
    if (at == end) return true;
    lines.erase(lines.begin() + static_cast<ptrdiff_t>(at));
    return Save(path, lines);
  }
  std::string entry = std::string(*key) + "=" + std::string(*value);
  if (at != end) {
    lines[at].text = entry;
  } else {
    // After the section's last non-blank line, so blank separators stay last.
    size_t insert = end;
    while (insert > header + 1 && Trim(lines[insert - 1].text).empty()) --insert;
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(insert), Line{Line::kEntry, entry, {}, {}});
  }
  return Save(path, lines);
}

}  // namespace platform
