// Feeds arbitrary bytes to the text commands and to the INI reader and
// writer: none of them may crash, loop, read out of bounds or break the
// invariants every caller relies on (no hit on a trail byte, results within
// the text).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ini_file.h"
#include "runtime/conversion_commands.h"
#include "runtime/file_commands.h"
#include "runtime/text_commands.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Returns true iff byte index i (0-based) starts a character when `t` is
// walked from its start.
bool StartsCharacter(std::string_view t, size_t i) {
  size_t at = 0;
  while (at < i) at += static_cast<unsigned char>(t[at]) >= 0x80 ? 2 : 1;
  return at == i;
}

void FuzzTexts(std::string_view text, std::string_view sought, int a, int b) {
  int found = rt::FindText(text, sought, a, b & 1);
  Check(found == -1 || (found >= 1 && static_cast<size_t>(found) <= text.size() + 1));
  // A search from the start never reports a trail byte. (A given start inside
  // a character walks from there, so only the reverse search, whose region
  // always begins at the text's start, is held to this for every start.)
  if (found > 0 && !sought.empty() && a <= 1) Check(StartsCharacter(text, found - 1));
  int back = rt::FindTextReverse(text, sought, a, b & 1);
  Check(back == -1 || (back >= 1 && static_cast<size_t>(back) <= text.size() + 1));
  if (back > 0 && !sought.empty()) Check(StartsCharacter(text, back - 1));
  Check(rt::MidText(text, a, b).size() <= text.size());
  Check(rt::LeftText(text, a).size() <= text.size());
  Check(rt::RightText(text, b).size() <= text.size());
  Check(rt::TrimText(text).size() <= text.size());
  Check(rt::RemoveSpaces(text).size() <= text.size());
  Check(rt::ToLowerCase(text).size() == text.size());
  std::string replaced = rt::ReplaceText(text, sought, "xy", a, b % 5 - 1, b & 2);
  if (sought.size() >= 2) Check(replaced.size() <= text.size());
  size_t pieces = rt::SplitText(text, sought, b % 7 - 1).size();
  Check(pieces <= text.size() + 1);
  rt::ToInteger(rt::Text(text));
  rt::Bytes bytes(text.begin(), text.end());
  int pos = a;
  for (int guard = 0; pos > 0 && guard <= static_cast<int>(bytes.size()) + 1; ++guard) {
    rt::ReadBytesData(bytes, 1 + (b & 0xFFFF) % 10, &pos);
  }
}

void FuzzIni(std::string_view data, std::string_view name) {
  static const std::string path = "/tmp/tiepic-fuzz-" + std::to_string(::getpid()) + ".ini";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
  platform::ReadProfileString(path, name, name, 10240);
  platform::ReadProfileString(path, name, "k", 16);
  // Whatever the writer accepts must read back exactly, whatever the file held
  // before.
  std::string value = "<" + std::string(name) + ">";
  bool wrote = platform::WriteProfileString(path, name, std::string_view("k"), value);
  std::optional<std::string> back = platform::ReadProfileString(path, name, "k", 1 << 20);
  if (wrote) Check(back && *back == value);
  platform::WriteProfileString(path, name, std::string_view("k"), std::nullopt);
  platform::WriteProfileString(path, name, std::nullopt, std::nullopt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int a = static_cast<int8_t>(data[0]);
  int b = data[1];
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  size_t cut = rest.find('\x01');
  std::string_view text = rest.substr(0, cut);
  std::string_view sought = cut == std::string_view::npos ? "" : rest.substr(cut + 1, 8);
  FuzzTexts(text, sought, a, b);
  if (b & 0x80) FuzzIni(text, sought);
  return 0;
}
