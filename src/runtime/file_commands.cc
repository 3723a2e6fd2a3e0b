// The file and settings commands over the platform's file system and
// profile-file substitutes.
#include "runtime/file_commands.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "runtime/gbk.h"

namespace rt {
namespace {

constexpr size_t kIniBufferSize = 10240;

std::string_view SkipLeadingControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  return s;
}

}  // namespace

Text RunDirectory() { return FromUtf8(platform::RunDirectory()); }
Text SettingsDirectory() { return FromUtf8(platform::SettingsDirectory()); }
Text DataDirectory() { return FromUtf8(platform::DataDirectory()); }

bool FitsText(std::string_view utf8) { return ToUtf8(FromUtf8(utf8)) == utf8; }

bool RunDirectoryFitsText() { return FitsText(platform::RunDirectory()); }

bool FileExists(std::string_view path) {
  return !path.empty() && platform::DirectorySearchFindsAny(ToUtf8(path));
}

bool SetFileAttrs(std::string_view path, int attributes) {
  if (path.empty()) return false;
  return platform::SetReadOnly(ToUtf8(path), (attributes & 0x27 & 1) != 0);
}

bool WriteBytesToFile(std::string_view path, std::initializer_list<BytesView> parts) {
  if (path.empty()) return false;
  std::vector<std::string_view> pieces;
  pieces.reserve(parts.size());
  for (BytesView part : parts) {
    pieces.emplace_back(reinterpret_cast<const char*>(part.data()), part.size());
  }
  return platform::ReplaceFile(ToUtf8(path), pieces.data(), pieces.size(), /*durable=*/false);
}

Text ReadIniText(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view default_value) {
  file = SkipLeadingControls(file);
  section = SkipLeadingControls(section);
  key = SkipLeadingControls(key);
  if (file.empty() || section.empty() || key.empty()) return {};
  std::optional<std::string> value =
      platform::ReadProfileString(ToUtf8(file), section, key, kIniBufferSize);
  if (!value) return Text(platform::FitToBuffer(default_value, kIniBufferSize));
  return *value;
}

bool WriteIniText(std::string_view file, std::string_view section,
                  std::optional<std::string_view> key, std::optional<std::string_view> value) {
  if (file.empty() || section.empty()) return false;
  // The empty text is the null text, which reaches the profile writer as a
  // missing argument.
  if (key && key->empty()) key.reset();
  if (value && value->empty()) value.reset();
  return platform::WriteProfileString(ToUtf8(file), section, key, value);
}

}  // namespace rt
