// Start-up settings, the option and folder handlers, and the folder routines.
#include "shell/settings.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

#include "frame/bound_functions.h"
#include "frame/window_templates.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/cookie_file.h"
#include "web/requests.h"

namespace shell {

using rt::operator""_gbk;
namespace mw = frame::main_window;

const rt::Text& IniFileName() { return "配置.ini"_gbk; }
const rt::Text& SettingsSection() { return "全局设置"_gbk; }
const rt::Text& KeySaveFolder() { return "保存位置"_gbk; }
const rt::Text& KeyRecord() { return "下载记录"_gbk; }
const rt::Text& KeyDescriptionName() { return "描述做文件名"_gbk; }
const rt::Text& KeyThreadAll() { return "下载帖子全部图"_gbk; }
const rt::Text& RecordFolderName() { return "防止重复下载数据库"_gbk; }

ServiceAddresses DefaultServiceAddresses() {
  ServiceAddresses addresses{"tieba.baidu.com", "imgsrc.baidu.com",
                             "http://tiepic.invalid/download/softzuixinv/index.html", ""};
  addresses.client_address = "https://c.tieba.baidu.com";
  return addresses;
}

rt::Text ClientAddressOf(const ServiceAddresses& service) {
  const ServiceAddresses defaults = DefaultServiceAddresses();
  if (service.web_host != defaults.web_host &&
      (service.client_address.empty() || service.client_address == defaults.client_address)) {
    return "http://" + service.web_host;
  }
  return service.client_address.empty() ? defaults.client_address : service.client_address;
}

ServiceAddresses ReadServiceAddresses(std::string_view ini_path) {
  ServiceAddresses result = DefaultServiceAddresses();
  auto read = [&](std::string_view key, rt::Text& value) {
    rt::Text stored = rt::TrimText(rt::ReadIniText(ini_path, kServiceSection, key));
    if (!stored.empty()) value = stored;
  };
  read(kWebHostKey, result.web_host);
  read(kPictureHostKey, result.picture_host);
  read(kVersionPageKey, result.version_page);
  read(kCookieFileKey, result.cookie_file);
  read(kCaFileKey, result.ca_file);
  read(kProfileKey, result.profile_file);
  read(kClientAddressKey, result.client_address);
  return result;
}

int ReadParallelFetches(std::string_view ini_path) {
  const rt::Text stored = rt::TrimText(rt::ReadIniText(ini_path, kDownloadSection, kParallelKey));
  int parallel = 0;
  const auto [end, error] = std::from_chars(stored.data(), stored.data() + stored.size(), parallel);
  const bool whole = error == std::errc() && end == stored.data() + stored.size();
  return whole && parallel >= 1 && parallel <= kMostParallelFetches ? parallel : 1;
}

bool ReadManifestOption(std::string_view ini_path) {
  return rt::TrimText(rt::ReadIniText(ini_path, kDownloadSection, kManifestKey)) != "0";
}

namespace {

// A wait in milliseconds under [service]: `fallback` when missing, negative
// or unreadable, at most ten minutes.
int ReadWaitMs(std::string_view ini_path, std::string_view key, int fallback) {
  const rt::Text stored = rt::TrimText(rt::ReadIniText(ini_path, kServiceSection, key));
  if (stored.empty() || stored.find_first_not_of("0123456789") != rt::Text::npos ||
      stored.size() > 9) {
    return fallback;
  }
  return std::min(std::stoi(stored), 600000);
}

}  // namespace

int ReadRefusalWaitMs(std::string_view ini_path) {
  return ReadWaitMs(ini_path, kRefusalWaitKey, kDefaultRefusalWaitMs);
}

int ReadRetryWaitMs(std::string_view ini_path) {
  return ReadWaitMs(ini_path, kRetryWaitKey, kDefaultRetryWaitMs);
}

bool LoadServiceProfile(frame::Frame& frame, ProgramState& state, std::string* error) {
  state.profile = BuiltInProfile();
  const rt::Text& path = state.service.profile_file;
  if (path.empty()) return true;
  std::string why;
  if (std::optional<ServiceProfile> loaded = LoadProfile(rt::ToUtf8(path), &why)) {
    state.profile = std::move(*loaded);
    frame.AppendEditText(mw::编辑框_操作记录, {"已载入服务配置文件"_gbk, path, "\r\n"});
    return true;
  }
  frame.AppendEditText(mw::编辑框_操作记录, {"服务配置文件未载入（"_gbk, rt::FromUtf8(why),
                                             "），使用内置的服务配置\r\n"_gbk});
  if (error) *error = why;
  return false;
}

void LoadServiceCookies(frame::Frame& frame, const ProgramState& state) {
  const rt::Text& ca_file = state.service.ca_file;
  if (!web::SetCertificateAuthorities(rt::ToUtf8(ca_file))) {
    frame.AppendEditText(mw::编辑框_操作记录, {"证书机构文件"_gbk, ca_file,
                                               "无法读取，https请求都将无法通过证书校验\r\n"_gbk});
  }
  const rt::Text& path = state.service.cookie_file;
  if (path.empty()) return;
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const web::CookieFileResult result = web::LoadCookieFile(
      rt::ToUtf8(path),
      {rt::ToUtf8(state.service.web_host), rt::ToUtf8(state.service.picture_host)}, now);
  auto log = [&frame](std::initializer_list<std::string_view> parts) {
    frame.AppendEditText(mw::编辑框_操作记录, parts);
  };
  using Status = web::CookieFileResult::Status;
  if (result.status == Status::kMissing) {
    log({"Cookie文件"_gbk, path, "不存在，本次不带Cookie访问\r\n"_gbk});
    return;
  }
  if (result.open_to_others) {
    log({"注意：Cookie文件"_gbk, path,
         "可被其他用户读取，其中的登录信息应只让自己读取（chmod 600）\r\n"_gbk});
  }
  if (result.status == Status::kUnreadable) {
    log({"Cookie文件"_gbk, path, "无法读取，本次不带Cookie访问\r\n"_gbk});
    return;
  }
  rt::Text line = "已读取Cookie文件"_gbk + path + "：本服务的Cookie"_gbk +
                  std::to_string(result.loaded) + "个"_gbk;
  if (result.expired > 0) line += "，过期"_gbk + std::to_string(result.expired) + "个"_gbk;
  if (result.broken_lines > 0) {
    line += "，无法识别的行"_gbk + std::to_string(result.broken_lines) + "行已跳过"_gbk;
  }
  log({line, "\r\n"});
}

rt::Text FeedbackPage(std::string_view version_page) {
  size_t slash = version_page.rfind('/');
  size_t scheme = version_page.find("://");
  if (slash == std::string_view::npos || (scheme != std::string_view::npos && slash < scheme + 3)) {
    return rt::Text(version_page) + "/bug.html";
  }
  return rt::Text(version_page.substr(0, slash + 1)) + "bug.html";
}

rt::Text HomePage(std::string_view version_page) {
  size_t scheme = version_page.find("://");
  size_t host = scheme == std::string_view::npos ? 0 : scheme + 3;
  size_t path = version_page.find('/', host);
  return rt::Text(version_page.substr(0, path)) + "/";
}

rt::Text PromotionPage(std::string_view version_page) { return HomePage(version_page) + "?soft"; }

bool EnsureFolder(rt::Text& path) {
  if (path.empty() || path.back() != '/') path += '/';
  return frame::CallPlatformFunction<bool(const rt::Text&)>(frame::kMakeSureDirectoryPathExists,
                                                            path);
}

rt::Text BrowseForFolder(frame::Frame& frame, std::string_view title,
                         std::string_view initial_folder, bool* unfit) {
  std::string_view shown = title.empty() ? std::string_view("请选择一个文件夹"_gbk) : title;
  return rt::TrimText(frame.BrowseForFolder(shown, initial_folder, unfit));
}

const rt::Text& UnfitFolderMessage() {
  return "文件夹名称含有本程序无法处理的字符，请另选一个文件夹"_gbk;
}

void MainWindowCreated(frame::Frame& frame, ProgramState& state) {
  state.help_page_visits = 1;
  state.version = "1.0";
  frame.SetCaption(mw::标签_banben, state.version);
  state.version_key = "tieba";
  const rt::Text program_folder = rt::RunDirectory();
  state.ini_path = rt::SettingsDirectory() + "/" + IniFileName();

  rt::Text save_folder = rt::ReadIniText(state.ini_path, SettingsSection(), KeySaveFolder());
  // The program folder is shown, not stored: the file stays untouched.
  frame.SetText(mw::编辑框_保存位置, save_folder.empty() ? program_folder : save_folder);
  const std::pair<const rt::Text&, frame::ControlRef> options[] = {
      {KeyRecord(), mw::选择框_下载记录},
      {KeyDescriptionName(), mw::选择框_文件名},
      {KeyThreadAll(), mw::选择框_下载帖子全部图片},
  };
  for (const auto& [key, box] : options) {
    frame.SetChecked(box, rt::ReadIniText(state.ini_path, SettingsSection(), key, "0") == "1");
  }
  state.service = ReadServiceAddresses(state.ini_path);
  state.parallel_fetches = ReadParallelFetches(state.ini_path);
  state.manifest = ReadManifestOption(state.ini_path);

  rt::Text record_folder = rt::DataDirectory() + "/" + RecordFolderName() + "/";
  EnsureFolder(record_folder);  // a failure shows later, where a record is written
  frame.ProcessEvents();
}

void StoreOption(frame::Frame& frame, const ProgramState& state, frame::ControlRef box,
                 const rt::Text& key) {
  // A failed write is not reported; the box keeps the user's choice.
  rt::WriteIniText(state.ini_path, SettingsSection(), key, frame.IsChecked(box) ? "1" : "0");
}

namespace {

// The folder dialog opens on the save folder when it exists (a relative one
// inside the program folder), else on the home folder ("").
rt::Text DialogStartFolder(frame::Frame& frame) {
  rt::Text folder = rt::TrimText(frame.GetText(mw::编辑框_保存位置));
  if (!folder.empty() && folder.front() != '/') folder = rt::RunDirectory() + "/" + folder;
  std::error_code error;
  return !folder.empty() && std::filesystem::is_directory(rt::ToUtf8(folder), error) ? folder
                                                                                     : rt::Text();
}

}  // namespace

void ChooseSaveFolder(frame::Frame& frame, const ProgramState& state) {
  bool unfit = false;
  const rt::Text chosen =
      BrowseForFolder(frame, "选择相册的存放位置"_gbk, DialogStartFolder(frame), &unfit);
  if (unfit) {
    // As GBK text the name would point at another folder: nothing changes.
    frame.ShowMessageBox(UnfitFolderMessage());
    return;
  }
  if (chosen.empty()) return;  // cancelled: the folder stays as it was
  frame.SetText(mw::编辑框_保存位置, chosen);
  rt::WriteIniText(state.ini_path, SettingsSection(), KeySaveFolder(),
                   frame.GetText(mw::编辑框_保存位置));
}

}  // namespace shell
