// The service check: one request an interface, read as the profile reads it.
#include "download/service_check.h"

#include <optional>
#include <system_error>

#include "discovery/newer_interfaces.h"
#include "discovery/text_helpers.h"
#include "frame/window_templates.h"
#include "download/album_pipeline.h"
#include "download/picture_io.h"
#include "json/json_value.h"
#include "shell/settings.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/refusal.h"
#include "web/regex_object.h"
#include "web/form_fields.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

using rt::operator""_gbk;
using rt::Text;

using Kind = ValueKind;

Kind KindOf(const json::JsonHandle& value) {
  const Text printed = json::JsonToText(value);
  if (value.empty() || printed == "null") return Kind::kNone;
  switch (printed.front()) {
    case '"': return Kind::kText;
    case '[': return Kind::kArray;
    case '{': return Kind::kObject;
    case 't':
    case 'f': return Kind::kOther;
    default: return Kind::kNumber;
  }
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kText: return "text";
    case Kind::kNumber: return "a number";
    case Kind::kArray: return "an array";
    case Kind::kObject: return "an object";
    case Kind::kOther: return "true or false";
    case Kind::kNone: break;
  }
  return "nothing";
}

const char* KindNameZh(Kind kind) {
  switch (kind) {
    case Kind::kText: return "文本";
    case Kind::kNumber: return "数字";
    case Kind::kArray: return "数组";
    case Kind::kObject: return "对象";
    case Kind::kOther: return "真假值";
    case Kind::kNone: break;
  }
  return "无";
}

Text Unquoted(const json::JsonHandle& value) { return WithoutAll(json::JsonToText(value), "\""); }

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

struct Reply {
  rt::Bytes body;
  int status = 0;
  Text headers;
  Text final_address;
  web::RequestFailure failure = web::RequestFailure::kNone;
};

class Checker {
 public:
  Checker(const shell::ProgramState& state,
          const std::function<void(const InterfaceCheck&)>& each)
      : state_(state), profile_(state.profile), host_(state.service.web_host), each_(each) {}

  std::vector<InterfaceCheck> Run(const Text& address) {
    web::RegexObject regex;  // the thread's automation use begins with this object
    if (address.find(host_ + "/p/") != Text::npos) {  // a thread's; else a board's
      // A thread's download asks its page, its guide and, for a board
      // album, the picture list; the board's own pages are not asked.
      Text tid = web::TextBetween(address, host_ + "/p/", "#!/");
      if (tid.empty()) tid = discovery::TextAfterLast(address, host_ + "/p/");
      Thread(tid);
      const bool album = Guide(tid);
      list_base_ = ThreadBase(profile_.list_path);
      if (album) List(tid);
      Picpage(tid);
    } else {
      board_name_ = discovery::BoardNameOf(address);
      Board(address, regex);
      AlbumTab(address, regex);
      list_base_ = shell::WithPath(address, host_, profile_.list_path);
      Thread(first_album_);
      List(first_album_);
      Guide(first_album_);
      Picpage(first_album_);
    }
    Picture();
    Version();
    return checks_;
  }

 private:
  Reply Ask(const Text& address, bool winhttp, const Text& agent = {}) {
    return Asked([&](web::RequestOptions& options) {
      options.agent = agent;
      return winhttp ? web::WinHttpObjectRequest(address, options)
                     : web::InetRequest(address, options);
    });
  }

  // One request through `request`, which is given the options that keep
  // what the answer says.
  Reply Asked(const std::function<rt::Bytes(web::RequestOptions&)>& request) {
    Reply reply;
    web::RequestOptions options;
    options.status = &reply.status;
    options.returned_headers = &reply.headers;
    options.final_address = &reply.final_address;
    options.failure = &reply.failure;
    reply.body = request(options);
    if (reply.status == 0) reply.status = web::StatusOfHeaders(reply.headers);
    return reply;
  }

  void Pause() { web::WaitResponsive(profile_.wait_after_page_ms); }

  // Records a check's end and says it.
  void Done(InterfaceCheck check) {
    checks_.push_back(check);
    if (each_) each_(checks_.back());
  }

  // True when the answer is there to read; else the check has ended.
  bool Answered(Interface interface, const Reply& reply, std::string_view path_key = {}) {
    InterfaceCheck check{.interface = interface};
    const web::Refusal refusal = web::RecognizeRefusal(
        {reply.status, reply.headers, reply.final_address, web::BodyText(reply.body)});
    if (reply.failure != web::RequestFailure::kNone || (reply.status == 0 && reply.body.empty())) {
      check.fit = Fit::kUnreachable;
    } else if (refusal != web::Refusal::kNone) {
      check.fit = Fit::kRefused;
      constexpr const char* kEnglish[] = {"", "a security check", "sent to a verification page",
                                          "HTTP 403", "HTTP 429"};
      check.detail = kEnglish[static_cast<int>(refusal)];
      check.detail_zh = rt::ToUtf8(web::RefusalName(refusal));
    } else if (reply.status >= 400) {
      check.fit = Fit::kErrorStatus;
      check.status = reply.status;
      check.key = std::string(path_key);
    } else {
      return true;
    }
    Done(check);
    return false;
  }

  void NotAsked(Interface interface, std::string_view why) {
    constexpr std::pair<std::string_view, std::string_view> kWhy[] = {
        {"no board address", "没有贴吧的网址"},
        {"no album to ask for", "没有可检查的相册"},
        {"no thread to ask for", "没有可检查的帖子"},
        {"no picture to ask for", "没有可检查的图片"},
        {"no version_page in [service] of the settings", "设置文件[service]中没有version_page"},
        {"the album list answered", "相册列表已答复"},
        {"the picture guide answered", "图片导航已答复"},
        {"no board name", "没有贴吧名"},
        {"left out of [order]", "服务配置[order]中未列出"},
    };
    InterfaceCheck check{.interface = interface, .fit = Fit::kNotAsked, .detail = std::string(why)};
    for (const auto& [english, chinese] : kWhy) {
      if (english == why) check.detail_zh = std::string(chinese);
    }
    Done(check);
  }

  // The marker's find, or a miss recorded in *check.
  Text Marked(std::string_view text, std::string_view marker, std::string_view key,
              InterfaceCheck* check) {
    Text found = shell::FindMarked(text, marker);
    if (found.empty() && check->fit == Fit::kFits) {
      check->fit = Fit::kMissing;
      check->read = Read::kMarker;
      check->key = std::string(key);
      check->value = std::string(marker);
    }
    return found;
  }

  // The member at `path`, checked to be of `wanted` kind (text stands for a
  // number too, and a number for text: either reads); a miss or another
  // kind is recorded in *check.
  json::JsonHandle Member(const json::JsonHandle& json, const std::string& path, Kind wanted,
                          std::string_view key, InterfaceCheck* check) {
    json::JsonHandle value = json::JsonGetPath(json, path);
    if (check->fit != Fit::kFits) return value;
    const Kind kind = KindOf(value);
    const bool either = (wanted == Kind::kText || wanted == Kind::kNumber) &&
                        (kind == Kind::kText || kind == Kind::kNumber);
    if (kind == wanted || either) return value;
    check->fit = kind == Kind::kNone ? Fit::kMissing : Fit::kOtherType;
    check->key = std::string(key);
    check->value = path;
    check->found = kind;
    check->wanted = wanted;
    return value;
  }

  void Board(const Text& address, web::RegexObject& regex) {
    if (address.empty()) {
      NotAsked(Interface::kBoardPage, "no board address");
      NotAsked(Interface::kAlbumList, "no board address");
      return;
    }
    const Reply page = Ask(address, false);
    if (Answered(Interface::kBoardPage, page)) {
      InterfaceCheck check{.interface = Interface::kBoardPage};
      check.found = Kind::kText;
      check.detail = rt::ToUtf8(
          Marked(discovery::Utf8ToGbk(page.body), profile_.board_title, "[board] title", &check));
      Done(check);
    }
    if (!shell::InOrder(profile_.order_albums, "albums")) {
      NotAsked(Interface::kAlbumList, "left out of [order]");
      return;
    }
    const Reply first =
        Ask(shell::WithPath(address, host_, profile_.albums_path) +
                shell::FillIn(profile_.albums_query,
                              {{"page", "1"},
                               {"page_size", std::to_string(profile_.albums_page_size)},
                               {"random", web::RandomText()}}),
            true);
    Pause();
    if (!Answered(Interface::kAlbumList, first, "[albums] path")) return;
    const Text text = web::BodyText(first.body);
    InterfaceCheck check{.interface = Interface::kAlbumList};
    const int matches =
        regex.Search(rt::FromUtf8(profile_.albums_entry), text) ? regex.MatchCount() : 0;
    const Text total = discovery::DigitsOnly(
        shell::FindMarked(text, profile_.albums_total));
    if (matches == 0 && total != "0") {
      check.fit = Fit::kMissing;
      check.read = Read::kPattern;
      check.key = "[albums] entry";
      check.value = profile_.albums_entry;
    } else {
      Marked(text, profile_.albums_total, "[albums] total", &check);
    }
    if (matches > 0) first_album_ = regex.SubMatchText(1, 2);
    check.detail = std::to_string(matches);
    album_list_fits_ = check.fit == Fit::kFits;
    Done(check);
  }

  // The board page's album tab, where the album list did not fit: its
  // albums stand inside the page's comments.
  void AlbumTab(const Text& address, web::RegexObject& regex) {
    if (!shell::InOrder(profile_.order_albums, "album_tab")) {
      NotAsked(Interface::kAlbumTab, "left out of [order]");
      return;
    }
    if (album_list_fits_ || address.empty()) {
      NotAsked(Interface::kAlbumTab, address.empty() ? "no board address" : "the album list answered");
      return;
    }
    const Reply page = Ask(shell::JoinQuery(address, profile_.album_tab_query), true,
                           profile_.agent_current);
    Pause();
    if (!Answered(Interface::kAlbumTab, page, "[album_tab] query")) return;
    InterfaceCheck check{.interface = Interface::kAlbumTab};
    const Text albums = shell::FindAllMarked(discovery::Utf8ToGbk(page.body), profile_.album_tab_comment);
    const int matches = !albums.empty() && regex.Search(rt::FromUtf8(profile_.album_tab_entry), albums)
                            ? regex.MatchCount()
                            : 0;
    if (albums.empty() || matches == 0) {
      check.fit = Fit::kMissing;
      check.read = albums.empty() ? Read::kMarker : Read::kPattern;
      check.key = albums.empty() ? "[album_tab] comment" : "[album_tab] entry";
      check.value = albums.empty() ? profile_.album_tab_comment : profile_.album_tab_entry;
    }
    if (matches > 0 && first_album_.empty()) first_album_ = regex.SubMatchText(1, 2);
    check.detail = std::to_string(matches);
    Done(check);
  }

  // The client's picture page, with the board's forum id, where the guide
  // did not fit: its first window.
  void Picpage(const Text& tid) {
    if (!shell::InOrder(profile_.order_thread, "picpage") &&
        !shell::InOrder(profile_.order_album, "picpage")) {
      NotAsked(Interface::kForumId, "left out of [order]");
      NotAsked(Interface::kPicpage, "left out of [order]");
      return;
    }
    if (tid.empty() || guide_fits_) {
      const char* why = tid.empty() ? "no thread to ask for" : "the picture guide answered";
      NotAsked(Interface::kForumId, why);
      NotAsked(Interface::kPicpage, why);
      return;
    }
    Text forum_id;
    if (board_name_.empty()) {
      NotAsked(Interface::kForumId, "no board name");
    } else {
      const Text address = shell::JoinQuery(
          "http://" + host_ + profile_.share_path,
          shell::FillIn(profile_.share_query,
                        {{"board", web::PercentEncode(rt::ToUtf8(board_name_))}}));
      const Reply reply = Ask(address, false, profile_.agent_current);
      if (Answered(Interface::kForumId, reply, "[share] path")) {
        InterfaceCheck check{.interface = Interface::kForumId};
        json::JsonHandle json;
        json::JsonParse(json, rt::FromUtf8(web::BodyText(reply.body)));
        forum_id = Unquoted(Member(json, profile_.share_fid, Kind::kNumber, "[share] fid", &check));
        if (check.fit == Fit::kFits) check.detail = rt::ToUtf8(forum_id);
        Done(check);
      }
    }
    const Reply reply = Asked([&](web::RequestOptions& options) {
      const Text text = discovery::AskPicpage(
          profile_, shell::ClientAddressOf(state_.service),
          {.forum_id = forum_id, .board_name = board_name_, .tid = tid, .every_poster = true}, options);
      return rt::Bytes(text.begin(), text.end());
    });
    if (!Answered(Interface::kPicpage, reply, "[picpage] path")) return;
    const Text text = web::BodyText(reply.body);
    InterfaceCheck check{.interface = Interface::kPicpage};
    json::JsonHandle json;
    json::JsonParse(json, text);
    const Text error = Unquoted(Member(json, profile_.picpage_error, Kind::kNumber, "[picpage] error", &check));
    if (check.fit == Fit::kFits && rt::ToInteger(error) != 0) {
      check.fit = Fit::kOtherType;
      check.key = "[picpage] error";
      check.value = profile_.picpage_error;
      check.found = Kind::kNumber;
      check.detail = "error " + rt::ToUtf8(error) + " " +
                     rt::ToUtf8(json::JsonPathText(json, profile_.picpage_message));
    }
    const Text amount = Unquoted(Member(json, profile_.picpage_amount, Kind::kNumber, "[picpage] amount", &check));
    const json::JsonHandle list = Member(json, profile_.picpage_pictures, Kind::kArray, "[picpage] pictures", &check);
    if (check.fit == Fit::kFits && json::JsonArrayLength(list) > 0) {
      const json::JsonHandle entry = json::JsonGetItem(list, 0);
      Member(entry, profile_.picpage_id, Kind::kText, "[picpage] id", &check);
      const Text address = WithoutAll(Unquoted(Member(entry, profile_.picpage_address, Kind::kText,
                                                      "[picpage] address", &check)), "\\");
      if (check.fit == Fit::kFits && picture_.empty()) {
        picture_ = address;
        picture_thread_ = tid;
      }
    }
    if (check.fit == Fit::kFits) check.detail = rt::ToUtf8(amount);
    Done(check);
  }

  // Reads the board's address the thread page names, as the download
  // reads it; an address on another host names no board.
  void Thread(const Text& tid) {
    if (tid.empty()) {
      NotAsked(Interface::kThreadPage, "no thread to ask for");
      return;
    }
    const Reply page =
        Ask("http://" + host_ + shell::FillIn(profile_.thread_path, {{"tid", tid}}), true);
    Pause();
    if (!Answered(Interface::kThreadPage, page, "[thread] path")) return;
    const Text text = discovery::Utf8ToGbk(page.body);
    InterfaceCheck check{.interface = Interface::kThreadPage};
    thread_board_ = Marked(text, profile_.thread_board, "[thread] board", &check);
    if (check.fit == Fit::kFits && ThreadBase(profile_.guide_path).empty()) {
      check.fit = Fit::kMissing;
      check.read = Read::kMarker;
      check.key = "[thread] board";
      check.value = profile_.thread_board;
      check.detail = "what it found is no board address on " + host_;
      check.detail_zh = "找到的不是" + host_ + "上的贴吧网址";
    }
    const Text title = Marked(text, profile_.thread_title, "[thread] title", &check);
    if (check.fit == Fit::kFits) check.detail = rt::ToUtf8(title);
    Done(check);
  }

  // The address of the interface at `path` for the board the thread page
  // named, as the download builds it; "" for none.
  Text ThreadBase(std::string_view path) const {
    return shell::BoardInterface(thread_board_, host_, path);
  }

  void List(const Text& tid) {
    const std::string_view why =
        tid.empty() ? "no album to ask for" : list_base_.empty() ? "no board address" : "";
    if (!why.empty()) {
      NotAsked(Interface::kPictureList, why);
      NotAsked(Interface::kPictureTotal, why);
      return;
    }
    const Text& base = list_base_;
    const Reply page =
        Ask(base + shell::FillIn(profile_.list_query,
                                 {{"page_size", std::to_string(profile_.list_page_size)},
                                  {"tid", tid},
                                  {"page", "1"},
                                  {"random", web::RandomText()}}),
            true);
    if (Answered(Interface::kPictureList, page, "[list] path")) {
      InterfaceCheck check{.interface = Interface::kPictureList};
      json::JsonHandle json;
      json::JsonParse(json, web::BodyText(page.body));
      const json::JsonHandle list =
          Member(json, profile_.list_pictures, Kind::kArray, "[list] pictures", &check);
      const int entries = json::JsonArrayLength(list);
      if (entries > 0) {
        const json::JsonHandle entry = json::JsonGetItem(list, 0);
        const Text id = Unquoted(Member(entry, profile_.list_id, Kind::kText, "[list] id", &check));
        Member(entry, profile_.list_description, Kind::kText, "[list] description", &check);
        if (check.fit == Fit::kFits && picture_.empty()) {
          picture_ = "http://" + state_.service.picture_host +
                     shell::FillIn(profile_.picture_path, {{"id", id}});
          picture_thread_ = tid;
        }
      }
      check.detail = std::to_string(entries);
      Done(check);
    }
    const Reply total = Ask(
        base + shell::FillIn(profile_.list_total_query, {{"tid", tid}, {"random", web::RandomText()}}),
        false);
    if (Answered(Interface::kPictureTotal, total, "[list] path")) {
      InterfaceCheck check{.interface = Interface::kPictureTotal};
      const Text found = rt::ReplaceText(
          Marked(web::BodyText(total.body), profile_.list_total, "[list] total", &check), "\"", "",
          {}, {}, true);
      if (check.fit == Fit::kFits && !AllDigits(found)) {
        check.fit = Fit::kOtherType;
        check.read = Read::kMarker;
        check.key = "[list] total";
        check.value = profile_.list_total;
        check.found = Kind::kText;
        check.wanted = Kind::kNumber;
      }
      if (check.fit == Fit::kFits) check.detail = rt::ToUtf8(found);
      Done(check);
    }
  }

  // Returns true iff the guide names the thread a board album (its
  // separator count is there), whose pictures the picture list serves.
  bool Guide(const Text& tid) {
    if (!shell::InOrder(profile_.order_thread, "guide") &&
        !shell::InOrder(profile_.order_album, "guide")) {
      NotAsked(Interface::kGuide, "left out of [order]");
      return false;
    }
    // A thread page that names no board leaves the guide to be asked by
    // the thread alone, as the download asks it.
    Text base = ThreadBase(profile_.guide_path);
    if (base.empty() && !tid.empty()) base = "http://" + host_ + profile_.guide_path;
    if (tid.empty() || base.empty()) {
      NotAsked(Interface::kGuide, tid.empty() ? "no thread to ask for" : "no board address");
      return false;
    }
    const Reply answer = Ask(
        shell::JoinQuery(base,
            shell::FillIn(profile_.guide_query, {{"tid", tid},
                                                 {"see_lz", "0"},
                                                 {"next", std::to_string(profile_.guide_next)},
                                                 {"cursor", ""},
                                                 {"random", web::RandomText()}})),
        false);
    if (!Answered(Interface::kGuide, answer, "[guide] path")) return false;
    InterfaceCheck check{.interface = Interface::kGuide};
    json::JsonHandle json;
    const Text text = web::BodyText(answer.body);
    json::JsonParse(json, text);
    // The board by the guide's name for it, where the thread page gave none.
    if (thread_board_.empty()) {
      const Text forum = json::JsonPathText(json, profile_.guide_forum);
      if (!forum.empty() && forum != "null") {
        board_name_ = forum;
        thread_board_ = discovery::BoardAddressOf(host_, forum);
      }
    }
    // A board album has a separator count; another thread has it null
    // (false, as the service answers by today).
    const bool no_album = discovery::NoBoardAlbum(text, profile_.guide_sep);
    if (!no_album) Member(json, profile_.guide_sep, Kind::kNumber, "[guide] sep", &check);
    const Text amount =
        Unquoted(Member(json, profile_.guide_amount, Kind::kNumber, "[guide] amount", &check));
    if (check.fit == Fit::kFits && !AllDigits(amount)) {
      check.fit = Fit::kOtherType;
      check.key = "[guide] amount";
      check.value = profile_.guide_amount;
      check.found = KindOf(json::JsonGetPath(json, profile_.guide_amount));
      check.detail = "not a whole number";
    }
    const json::JsonHandle list = json::JsonGetPath(json, profile_.guide_pictures);
    // A thread without pictures has an empty array there.
    if (check.fit == Fit::kFits && !(amount == "0" && KindOf(list) == Kind::kArray)) {
      Member(json, profile_.guide_pictures, Kind::kObject, "[guide] pictures", &check);
      const std::string key = shell::FillIn(profile_.guide_key, {{"n", "1"}});
      const json::JsonHandle entry = json::JsonGetMember(list, key);
      if (check.fit == Fit::kFits && entry.empty()) {
        check.fit = Fit::kMissing;
        check.key = "[guide] key";
        check.value = key;
      }
      const Text id = Unquoted(Member(entry, profile_.guide_id, Kind::kText, "[guide] id", &check));
      Member(entry, profile_.guide_description, Kind::kText, "[guide] description", &check);
      // An entry without an address is fetched from the picture host.
      Text address = rt::ReplaceText(json::JsonPathText(entry, profile_.guide_address),
                                     "\\", "", {}, {}, true);
      if (address.empty() || address == "null") {
        address = "http://" + state_.service.picture_host +
                  shell::FillIn(profile_.picture_path, {{"id", id}});
      }
      // A board album's pictures come by the list, whose address the list
      // check takes.
      if (check.fit == Fit::kFits && picture_.empty() && no_album) {
        picture_ = address;
        picture_thread_ = tid;
      }
    }
    if (check.fit == Fit::kFits) check.detail = rt::ToUtf8(amount);
    guide_fits_ = check.fit == Fit::kFits;
    Done(check);
    return !no_album;
  }

  void Picture() {
    if (picture_.empty()) {
      NotAsked(Interface::kPictureFile, "no picture to ask for");
      return;
    }
    const PictureAnswer answer = RequestPicture(picture_, RefererPage(host_, picture_thread_));
    const Reply reply{answer.body, answer.status, answer.headers, answer.final_address,
                      answer.failure};
    if (!Answered(Interface::kPictureFile, reply, "[picture] path")) return;
    InterfaceCheck check{.interface = Interface::kPictureFile};
    if (ImageExtension(answer.body).empty()) {
      check.fit = Fit::kOtherType;
      check.read = Read::kAnswer;
    }
    check.detail = std::to_string(answer.body.size());
    Done(check);
  }

  void Version() {
    // The program's own site is no interface of the service; it is asked
    // where the settings name a version page of their own.
    if (state_.service.version_page == shell::DefaultServiceAddresses().version_page) {
      NotAsked(Interface::kVersionPage, "no version_page in [service] of the settings");
      return;
    }
    const Reply page = Ask(state_.service.version_page, false);
    if (!Answered(Interface::kVersionPage, page)) return;
    InterfaceCheck check{.interface = Interface::kVersionPage};
    check.detail = rt::ToUtf8(Marked(web::BodyText(page.body),
                                     shell::FillIn(profile_.version_newest,
                                                   {{"key", state_.version_key}}),
                                     "[version] newest", &check));
    Done(check);
  }

  const shell::ProgramState& state_;
  const shell::ServiceProfile profile_;  // as it stands when the check starts
  const Text host_;
  const std::function<void(const InterfaceCheck&)>& each_;
  std::vector<InterfaceCheck> checks_;
  Text thread_board_;  // the board's address as the thread page names it
  Text list_base_;     // the picture list's address for the board
  Text first_album_;  // the album list's first album's id
  Text picture_;      // the first picture's address an answer gave
  Text picture_thread_;
  Text board_name_;   // GBK: the board's name, from its address or the guide
  bool album_list_fits_ = false;
  bool guide_fits_ = false;
};

const char* Name(Interface interface) {
  constexpr const char* kNames[] = {"board page",    "album list",  "picture list",
                                    "picture total", "thread page", "picture guide",
                                    "picture file",  "version page", "album tab",
                                    "forum id",      "client picture page"};
  return kNames[static_cast<int>(interface)];
}

const char* NameZh(Interface interface) {
  constexpr const char* kNames[] = {"贴吧首页", "相册列表", "图片列表", "图片总数",
                                    "帖子页面", "图片导航", "图片文件", "版本页面",
                                    "贴吧相册页", "贴吧ID",   "客户端图片页"};
  return kNames[static_cast<int>(interface)];
}

// What a fitting interface found, in English and in Chinese.
std::pair<std::string, std::string> Found(const InterfaceCheck& c) {
  switch (c.interface) {
    case Interface::kAlbumList: return {c.detail + " albums on its first page", c.detail + "个相册"};
    case Interface::kAlbumTab: return {c.detail + " albums", c.detail + "个相册"};
    case Interface::kPicpage: return {c.detail + " pictures", c.detail + "张图片"};
    case Interface::kPictureList:
      return {c.detail + " pictures on its first page", "第1页" + c.detail + "张图片"};
    case Interface::kPictureTotal:
    case Interface::kGuide: return {c.detail + " pictures", c.detail + "张图片"};
    case Interface::kPictureFile: return {c.detail + " bytes", c.detail + "字节"};
    case Interface::kVersionPage: return {"newest version " + c.detail, "最新版本" + c.detail};
    default: return {c.detail, c.detail};
  }
}

}  // namespace

bool IsServiceAddress(const rt::Text& address, std::string_view host) {
  const rt::Text web(host);
  return address.find(web + "/f?") != rt::Text::npos || address.find(web + "/p/") != rt::Text::npos;
}

rt::Text ExampleBoardAddress(std::string_view web_host) {
  return "http://" + rt::Text(web_host) + "/f?kw=" + "纸飞机"_gbk;
}

std::vector<InterfaceCheck> CheckService(const shell::ProgramState& state,
                                         const rt::Text& address,
                                         const std::function<void(const InterfaceCheck&)>& each) {
  return Checker(state, each).Run(address);
}

void CheckTally::Add(const InterfaceCheck& check) {
  switch (check.fit) {
    case Fit::kMissing:
    case Fit::kOtherType:
    case Fit::kErrorStatus: ++unfit; break;
    case Fit::kRefused: ++refused; break;
    case Fit::kUnreachable: ++unreachable; break;
    case Fit::kFits:
    case Fit::kNotAsked: break;
  }
}

ServiceCheckControl::ServiceCheckControl(frame::Frame& frame, shell::ProgramState& state,
                                         std::function<bool()> busy)
    : frame_(frame), state_(state), busy_(std::move(busy)) {}

ServiceCheckControl::~ServiceCheckControl() {
  frame_.ServeUntil([this] { return !running_.load(); });
}

void ServiceCheckControl::Start() {
  namespace mw = frame::main_window;
  if (running_.load()) return;
  if (worker_.joinable()) worker_.join();  // the last one has finished its work
  if (busy_ && busy_()) {
    frame_.ShowMessageBox("相册列表获取或下载进行中，请等它结束后再检查服务接口"_gbk);
    return;
  }
  const rt::Text typed = rt::TrimText(frame_.GetText(mw::编辑框_号码));
  const bool known = IsServiceAddress(typed, state_.service.web_host);
  const rt::Text address = known ? typed : ExampleBoardAddress(state_.service.web_host);
  frame_.WriteProperty(mw::按钮_检查服务, frame::kDisabled, true);
  // The lines go to the log, which is on the first page.
  frame_.SetCurrentPage(mw::选择夹1, 0);
  if (!typed.empty() && !known) {
    frame_.AppendEditText(mw::编辑框_操作记录,
                          {"服务检查：网址格式无法识别，改为检查示例贴吧\r\n"_gbk});
  }
  // An edited profile is checked as it now stands.
  shell::LoadServiceProfile(frame_, state_);
  frame_.AppendEditText(mw::编辑框_操作记录, {"服务检查：逐个询问服务接口，网址 "_gbk, address, "\r\n"});
  running_.store(true);
  try {
    worker_ = std::jthread([this, address] {
      CheckTally tally;
      CheckService(state_, address, [&](const InterfaceCheck& check) {
        tally.Add(check);
        frame_.AppendEditText(mw::编辑框_操作记录, {CheckLogLine(check), "\r\n"});
      });
      rt::Text closing = "服务检查完毕："_gbk;
      if (tally.all_fit()) closing += "全部接口正常"_gbk;
      if (tally.unfit > 0) {
        closing += std::to_string(tally.unfit) +
                   "个接口与服务配置不符，可按上面各行修改服务配置文件"_gbk;
      }
      if (tally.refused + tally.unreachable > 0) {
        closing += (tally.unfit > 0 ? "；"_gbk : rt::Text()) +
                   std::to_string(tally.refused + tally.unreachable) +
                   "个接口无法连接或被服务器拒绝，请稍后再试"_gbk;
      }
      frame_.AppendEditText(mw::编辑框_操作记录, {closing, "\r\n\r\n"});
      frame_.Post([this] {
        frame_.WriteProperty(frame::main_window::按钮_检查服务, frame::kDisabled, false);
        running_.store(false);
      });
    });
  } catch (const std::system_error&) {
    running_.store(false);
    frame_.WriteProperty(mw::按钮_检查服务, frame::kDisabled, false);
    frame_.ShowMessageBox("无法启动服务检查的线程"_gbk);
  }
}

void WireServiceCheck(shell::Hooks& hooks, ServiceCheckControl& control) {
  hooks.check_service = [&control] { control.Start(); };
}

std::string CheckLine(const InterfaceCheck& c) {
  std::string line = std::string(Name(c.interface)) + ": ";
  const std::string named = c.key.empty() ? "" : " (" + c.key + ")";
  switch (c.fit) {
    case Fit::kFits: {
      const std::string found = Found(c).first;
      return line + "fits" + (found.empty() ? "" : " (" + found + ")");
    }
    case Fit::kMissing:
      switch (c.read) {
        case Read::kMarker:
          return line + "answered, but marker " + c.value + named +
                 (c.detail.empty() ? " found nothing" : ": " + c.detail);
        case Read::kPattern:
          return line + "answered, but pattern" + named +
                 " matched 0 times (a board without albums, or the pattern no longer fits)";
        default: return line + "answered, but member " + c.value + named + " is missing";
      }
    case Fit::kOtherType:
      if (c.read == Read::kAnswer) return line + "answered, but not with an image";
      return line + "answered, but " + (c.read == Read::kMarker ? "marker " : "member ") + c.value +
             named + " holds " + KindName(c.found) + ", not " +
             (c.detail.empty() ? KindName(c.wanted) : c.detail);
    case Fit::kRefused: return line + "refused (" + c.detail + ")";
    case Fit::kErrorStatus:
      return line + "answered HTTP " + std::to_string(c.status) +
             (c.key.empty() ? "" : " (is " + c.key + " still where it is asked?)");
    case Fit::kUnreachable: return line + "unreachable";
    case Fit::kNotAsked: return line + "not asked (" + c.detail + ")";
  }
  return line;
}

rt::Text CheckLogLine(const InterfaceCheck& c) {
  std::string line = std::string("服务检查 ") + NameZh(c.interface) + "：";
  const std::string named = c.key.empty() ? "" : "（" + c.key + "）";
  switch (c.fit) {
    case Fit::kFits: {
      const std::string found = Found(c).second;
      line += "正常" + (found.empty() ? "" : "（" + found + "）");
      break;
    }
    case Fit::kMissing:
      switch (c.read) {
        case Read::kMarker:
          line += "有应答，但标记 " + c.value + named +
                  (c.detail_zh.empty() ? " 未找到内容" : "：" + c.detail_zh);
          break;
        case Read::kPattern: line += "有应答，但模式" + named + "匹配0次（本吧没有相册，或模式已不适用）"; break;
        default: line += "有应答，但缺少成员 " + c.value + named; break;
      }
      break;
    case Fit::kOtherType:
      if (c.read == Read::kAnswer) {
        line += "有应答，但不是图片";
      } else {
        line += "有应答，但" + std::string(c.read == Read::kMarker ? "标记 " : "成员 ") + c.value +
                named + " 是" + KindNameZh(c.found) + "，不是" +
                (c.detail.empty() ? KindNameZh(c.wanted) : "非负整数");
      }
      break;
    case Fit::kRefused: line += "被服务器拒绝（" + c.detail_zh + "）"; break;
    case Fit::kErrorStatus:
      line += "应答 HTTP " + std::to_string(c.status) + named;
      break;
    case Fit::kUnreachable: line += "无法连接"; break;
    case Fit::kNotAsked: line += "未检查（" + c.detail_zh + "）"; break;
  }
  return rt::FromUtf8(line);
}

}  // namespace download
