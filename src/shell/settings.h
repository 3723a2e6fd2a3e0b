// The settings file and the folder routines: the INI path (beside the
// program, or in the user's configuration folder), its four keys under "全局设置", the service addresses, the
// repeat-download record folder, EnsureFolder and the folder dialog.
//
// The check boxes and the save-folder edit box are the live settings: they
// are read from the file once, at start, and written back when the user
// changes them; nobody reads the file afterwards.
//
// Thread safety: EnsureFolder may be called from any thread; the rest runs on
// the UI thread.
#ifndef TIEPIC_SHELL_SETTINGS_H_
#define TIEPIC_SHELL_SETTINGS_H_

#include <string_view>

#include "frame/frame.h"
#include "shell/program_state.h"

namespace shell {

// GBK names of the settings file, its section and keys.
const rt::Text& IniFileName();        // "配置.ini"
const rt::Text& SettingsSection();    // "全局设置"
const rt::Text& KeySaveFolder();      // "保存位置"
const rt::Text& KeyRecord();          // "下载记录"
const rt::Text& KeyDescriptionName(); // "描述做文件名"
const rt::Text& KeyThreadAll();       // "下载帖子全部图"
const rt::Text& RecordFolderName();   // "防止重复下载数据库"

// The service addresses live in their own section, so that the program can be
// pointed at a stand-in of the service (see README.md).
inline constexpr std::string_view kServiceSection = "service";
inline constexpr std::string_view kWebHostKey = "web_host";
inline constexpr std::string_view kPictureHostKey = "picture_host";
inline constexpr std::string_view kVersionPageKey = "version_page";
inline constexpr std::string_view kClientAddressKey = "client_address";
// How many picture fetches of an album may be in flight at once, 1 to 8:
// [download] parallel=N. Missing, not a number or out of range: 1, one
// picture after the other.
inline constexpr std::string_view kDownloadSection = "download";
inline constexpr std::string_view kParallelKey = "parallel";
inline constexpr int kMostParallelFetches = 8;
int ReadParallelFetches(std::string_view ini_path);
// Whether each album folder keeps a manifest of its pictures: [download]
// manifest=0 turns it off; anything else, or nothing, leaves it on.
inline constexpr std::string_view kManifestKey = "manifest";
bool ReadManifestOption(std::string_view ini_path);

inline constexpr std::string_view kCookieFileKey = "cookie_file";
// The certificate authorities https requests trust instead of the system's.
inline constexpr std::string_view kCaFileKey = "ca_file";
// A service profile to ask and read the service by instead of the built-in one.
inline constexpr std::string_view kProfileKey = "profile";
// The first wait after the service refuses a request, in milliseconds; each
// further try waits twice as long. A stand-in of the service needs no waits.
inline constexpr std::string_view kRefusalWaitKey = "refusal_wait_ms";
inline constexpr int kDefaultRefusalWaitMs = 10000;
// The wait before asking again for a page that came back empty or with a
// server error, in milliseconds. A stand-in of the service needs no waits.
inline constexpr std::string_view kRetryWaitKey = "retry_wait_ms";
inline constexpr int kDefaultRetryWaitMs = 2000;
ServiceAddresses DefaultServiceAddresses();

// The mobile client's address the program asks: [service] client_address,
// except that a web host other than the service's own (a stand-in, say)
// with the built-in client address takes "http://" + that web host, so that
// a run pointed elsewhere never reaches the service's own client host.
rt::Text ClientAddressOf(const ServiceAddresses& service);
// The addresses in `ini_path`; a missing or empty value takes its default.
ServiceAddresses ReadServiceAddresses(std::string_view ini_path);
// The refusal wait in `ini_path`; a missing, negative or unreadable value
// takes the default, and values above ten minutes are cut to ten minutes.
int ReadRefusalWaitMs(std::string_view ini_path);
// The retry wait in `ini_path`, read by the same rules.
int ReadRetryWaitMs(std::string_view ini_path);

// Loads `state.service.cookie_file`, when one is named, into the request
// layer for the service's web and picture hosts (see web/cookie_file.h) and
// says in the operation log what came of it: the cookies loaded, a file
// that others may read, or a missing or unreadable file (the program then
// goes on without cookies). The file's contents never reach the log.
// Before that, `state.service.ca_file` becomes the authorities https
// requests trust (a file that cannot be read is said in the log).
void LoadServiceCookies(frame::Frame& frame, const ProgramState& state);

// Loads `state.service.profile_file`, when one is named, into
// `state.profile` and says so in the operation log; a profile that is
// refused is said in one line naming its place, and the built-in profile
// stays in force. Returns false iff a named profile was refused.
bool LoadServiceProfile(frame::Frame& frame, ProgramState& state, std::string* error = nullptr);

// The maker's pages, beside the version page: its feedback page, its home
// page (the version page's scheme and host) and the promotion page.
rt::Text FeedbackPage(std::string_view version_page);
rt::Text HomePage(std::string_view version_page);
rt::Text PromotionPage(std::string_view version_page);

// Appends a final '/' to `path` when it has none and creates every missing
// folder along it. Returns true iff the folders exist afterwards.
bool EnsureFolder(rt::Text& path);

// The folder dialog: `title` ("请选择一个文件夹" when empty) over
// `initial_folder` (the user's home folder when empty). Returns the chosen
// folder with blanks trimmed at both ends, or "" when cancelled or when GBK
// text cannot hold the folder's name (then *unfit is set, when given).
rt::Text BrowseForFolder(frame::Frame& frame, std::string_view title,
                         std::string_view initial_folder, bool* unfit = nullptr);

// The message shown when a folder's name has characters GBK text cannot
// hold: "文件夹名称含有本程序无法处理的字符，请另选一个文件夹".
const rt::Text& UnfitFolderMessage();

// The main window's created handler. The skin step of the original start-up
// is left out (the back end's own style serves); in order: help-page visits
// set to 1, the version "1.0" shown, the version key, the INI path, the save
// folder and the three options read into their controls, the service
// addresses, the record folder made, waiting events run.
void MainWindowCreated(frame::Frame& frame, ProgramState& state);

// An option box was clicked: its state goes to `key` at once as "1" or "0".
void StoreOption(frame::Frame& frame, const ProgramState& state, frame::ControlRef box,
                 const rt::Text& key);

// The choose-folder button: the dialog opens on the current save folder
// (when it exists), and the folder chosen goes into the save-folder box and
// the settings file. Cancel changes nothing. A folder whose name GBK text
// cannot hold is refused with UnfitFolderMessage; the box and the file keep
// the old folder.
void ChooseSaveFolder(frame::Frame& frame, const ProgramState& state);

}  // namespace shell

#endif  // TIEPIC_SHELL_SETTINGS_H_
