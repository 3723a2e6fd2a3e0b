// The find handler, the retrieval worker and its board and thread paths.
#include "discovery/album_retrieval.h"

#include <algorithm>
#include <functional>
#include <string>
#include <system_error>

#include "discovery/newer_interfaces.h"
#include "web/form_fields.h"
#include "discovery/text_helpers.h"
#include "frame/window_templates.h"
#include "json/json_value.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/settings.h"
#include "web/regex_object.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace discovery {
namespace {

namespace mw = frame::main_window;
using rt::operator""_gbk;
using rt::Text;

// Tries of a guide that brings nothing, as the download asks its pages.
constexpr int kGuideAttempts = 10;

Text WithoutLineBreaksAndBlanks(std::string_view text) {
  Text out = rt::ReplaceText(text, "\n", "", {}, {}, true);
  out = rt::ReplaceText(out, "\r", "", {}, {}, true);
  return rt::RemoveSpaces(out);
}

bool Contains(std::string_view text, std::string_view sought) {
  return text.find(sought) != std::string_view::npos;
}

}  // namespace

// One answer of a retrieval request.
struct Answer {
  rt::Bytes body;
  AnswerKind kind = AnswerKind::kFine;
  int status = 0;        // 0: unknown, or no answer came
  bool refused = false;  // the refusal persisted; its own lines have told it
  web::RequestFailure failure = web::RequestFailure::kNone;  // why none came
};

// The requests of one retrieval: each asked again while the service refuses
// it, and each that brings nothing to read noted and logged.
class RetrievalRequests {
 public:
  using Request = std::function<rt::Bytes(const web::RequestOptions&)>;

  RetrievalRequests(web::RefusalRetry& retry, web::LogLine log, int retry_wait_ms)
      : retry_(retry), log_(std::move(log)), retry_wait_ms_(retry_wait_ms) {}

  // A GET through the automation object's request, the service's pause
  // after each try, and the body as text (`utf8`: converted from UTF-8).
  Text WinHttp(std::string_view what, const Text& address, int pause_ms, bool utf8,
               const Text& agent = {}) {
    const Request request = [&](const web::RequestOptions& options) {
      web::RequestOptions with_agent = options;
      with_agent.agent = agent;
      rt::Bytes body = web::WinHttpObjectRequest(address, with_agent);
      web::WaitResponsive(pause_ms);
      return body;
    };
    const Answer answer = Logged(what, Ask(what, request));
    return utf8 ? Utf8ToGbk(answer.body) : web::BodyText(answer.body);
  }

  // A GET through InetRequest.
  // `agent`: a User-Agent in place of the program's own.
  rt::Bytes Inet(std::string_view what, const Text& address, const Text& agent = {}) {
    if (agent.empty()) return Logged(what, Ask(what, InetOf(address))).body;
    const Request request = [&](const web::RequestOptions& options) {
      web::RequestOptions with_agent = options;
      with_agent.agent = agent;
      return web::InetRequest(address, with_agent);
    };
    return Logged(what, Ask(what, request)).body;
  }

  // A guide answer through InetRequest, asked up to kGuideAttempts times
  // while it brings no answer, an empty one or a status of 500 or above,
  // with the service's wait after each such one.
  Text Guide(std::string_view what, const Text& address) {
    Answer answer;
    int tries = 0;
    while (true) {
      answer = Ask(what, InetOf(address));
      ++tries;
      const bool again = answer.kind == AnswerKind::kNoAnswer ||
                         answer.kind == AnswerKind::kEmpty ||
                         (answer.kind == AnswerKind::kErrorStatus && answer.status >= 500);
      if (!again || tries == kGuideAttempts) break;
      web::WaitResponsive(retry_wait_ms_);
    }
    return web::BodyText(Logged(what, answer, tries).body);
  }

  RetrievalTrouble Trouble(bool nothing_found) const { return answers_.Trouble(nothing_found); }

  // While set, a refused request is asked once: another interface stands
  // in for it.
  void set_once(bool once) { once_ = once; }
  bool once() const { return once_; }

  // What has been noted so far, to be forgotten when another interface
  // stood in for the requests noted after it.
  struct Mark {
    RetrievalAnswers answers;
    int persisted = 0;
  };
  Mark Checkpoint() const { return {answers_, retry_.persisted()}; }
  void Forget(const Mark& mark) {
    answers_ = mark.answers;
    forgiven_ += retry_.persisted() - mark.persisted;
  }
  // Refusals that persisted but were stood in for.
  int forgiven() const { return forgiven_; }
  // Refusals asked once only because another interface could stand in.
  int once_refused() const { return once_refused_; }
  // Whether the last request was refused or brought nothing to read.
  bool last_troubled() const { return last_troubled_; }

  // Whether an answer came over https after the service redirected there.
  bool answered_https() const { return answered_https_; }

  // A picpage window through its own request, asked again while refused.
  Text Picpage(const shell::ServiceProfile& profile, std::string_view client_address,
               const PicpageWindow& window) {
    Text text;
    const Request request = [&](const web::RequestOptions& options) {
      text = AskPicpage(profile, client_address, window, options);
      return rt::Bytes(text.begin(), text.end());
    };
    const Answer answer = Logged("客户端图片页"_gbk, Ask("客户端图片页"_gbk, request));
    return answer.refused ? Text() : text;
  }

 private:
  static Request InetOf(const Text& address) {
    return [&address](const web::RequestOptions& options) {
      return web::InetRequest(address, options);
    };
  }

  Answer Ask(std::string_view what, const Request& request) {
    Answer answer;
    answer.body = retry_.Fetch(
        what,
        [&](const web::RequestOptions& options) {
          rt::Bytes body = request(options);
          answer.status = *options.status;
          if (answer.status == 0) answer.status = web::StatusOfHeaders(*options.returned_headers);
          answer.failure = *options.failure;
          if (rt::ToLowerCase(rt::LeftText(*options.final_address, 8)) == "https://")
            answered_https_ = true;
          return body;
        },
        &answer.refused, once_);
    if (answer.refused && once_) ++once_refused_;
    if (!answer.refused)
      answer.kind = KindOfAnswer(answer.failure, answer.status, answer.body.size());
    return answer;
  }

  const Answer& Logged(std::string_view what, const Answer& answer, int tries = 1) {
    last_troubled_ = answer.refused || answer.kind != AnswerKind::kFine;
    if (const Text line = answers_.Note(what, answer.kind, answer.status, answer.failure, tries);
        !line.empty())
      log_(line);
    return answer;
  }

  web::RefusalRetry& retry_;
  const web::LogLine log_;
  const int retry_wait_ms_;
  RetrievalAnswers answers_;
  bool answered_https_ = false;
  bool once_ = false;
  int forgiven_ = 0;
  int once_refused_ = 0;
  bool last_troubled_ = false;
};

rt::Text UnrecognisedAddressMessage(std::string_view web_host) {
  const Text host(web_host);
  return "网址格式无法识别"_gbk + "\r\n\r\n" + "贴吧相册格式如下："_gbk + "\r\n" + "http://" +
         host + "/f?kw=" + "纸飞机"_gbk + "\r\n" + "单个帖子的网址格式如："_gbk + "\r\n" +
         "http://" + host + "/p/4718203956\r\nhttp://" + host + "/p/4718203956#!/l/p1";
}

const rt::Text& RetrievalBusyMessage() {
  return "相册列表正在获取中，请等这次获取完毕再试"_gbk;
}

AlbumRetrieval::AlbumRetrieval(frame::Frame& frame, const shell::ProgramState& state,
                               RetrievalPauses pauses)
    : frame_(frame), state_(state), pauses_(pauses) {}

AlbumRetrieval::~AlbumRetrieval() {
  // The worker may be waiting for the UI thread, which is this one: serve it
  // until it is done instead of blocking on it.
  frame_.ServeUntil([this] { return !running_.load(); });
}

AlbumSource AlbumRetrieval::Source() const {
  std::lock_guard lock(mu_);
  return source_;
}

void AlbumRetrieval::SetListBase(Text base, bool guide) {
  std::lock_guard lock(mu_);
  source_.list_base_address = std::move(base);
  source_.guide = guide;
}

void AlbumRetrieval::FindPressed() {
  if (frame_.GetText(mw::编辑框_号码).empty()) {
    frame_.ShowMessageBox("请输入网址"_gbk);
    frame_.SetCurrentPage(mw::选择夹1, 0);
    return;
  }
  if (running_.load()) {
    frame_.ShowMessageBox(RetrievalBusyMessage());
    return;
  }
  frame_.SetCaption(mw::标签_动态, "温馨提示：正在获取相册列表..."_gbk);
  frame_.AppendEditText(mw::编辑框_操作记录, {"正努力获取相册列表，耐心等待哈！\r\n\r\n"_gbk});
  if (worker_.joinable()) worker_.join();  // the last one has finished its work
  running_.store(true);
  try {
    worker_ = std::jthread([this] { Retrieve(); });
  } catch (const std::system_error&) {
    running_.store(false);
    frame_.ShowMessageBox("无法启动获取相册列表的线程"_gbk);
  }
  frame_.ProcessEvents();
  frame_.SetVisible(mw::画板1, false);
}

void AlbumRetrieval::Retrieve() {
  {
    web::RegexObject regex;  // the thread's automation use begins with this object
    frame_.SetCaption(mw::标签_动态, "群相册获取中，耐心等待..."_gbk);
    frame_.ListDeleteAll(mw::超级列表框1);
    frame_.ListSetColumnWidth(mw::超级列表框1, mw::kColumnName, 180);
    frame_.ListSetColumnWidth(mw::超级列表框1, mw::kColumnId, 120);
    frame_.ListSetColumnWidth(mw::超级列表框1, mw::kColumnQuestion, 0);
    frame_.ListSetColumnWidth(mw::超级列表框1, mw::kColumnPassword, 0);

    const Text address = rt::TrimText(frame_.GetText(mw::编辑框_号码));
    // A pasted https address keeps the retrieval on https.
    https_ = rt::ToLowerCase(rt::LeftText(address, 8)) == "https://";
    {
      std::lock_guard lock(mu_);
      source_.entered_address = address;
      source_.list_base_address.clear();
      source_.guide = false;
      trouble_ = {};
    }
    const Text& host = state_.service.web_host;
    persisted_refusals_.store(0);
    auto log = [this](const Text& line) { frame_.AppendEditText(mw::编辑框_操作记录, {line}); };
    web::RefusalRetry retry({.first_wait_ms = pauses_.refusal_first_wait_ms}, log,
                            [](int64_t ms) { web::WaitResponsive(ms); });
    RetrievalRequests requests(retry, log, pauses_.empty_page_retry_ms);
    bool found = true;
    // The profile as it stands when the retrieval starts.
    const shell::ServiceProfile profile = state_.profile;
    if (Contains(address, host + "/f?")) {
      last_kind_.store(AddressKind::kBoard);
      BoardPath(address, profile, regex, requests);
      found = frame_.ListRowCount(mw::超级列表框1) > 0;
    } else if (Contains(address, host + "/p/")) {
      last_kind_.store(AddressKind::kThread);
      found = ThreadPath(address, profile, requests);
    } else {
      last_kind_.store(AddressKind::kUnrecognised);
      frame_.ShowMessageBox(UnrecognisedAddressMessage(host));
    }
    // A refusal asked once counts where no other interface stood in for it.
    persisted_refusals_.store(retry.persisted() - requests.forgiven() +
                              (found ? 0 : requests.once_refused()));
    RetrievalTrouble trouble = requests.Trouble(!found);
    // A board whose album interfaces all turned the visitor away asked for a
    // browser's check: the user is told so, and what may get past it.
    trouble.browser_check = !found && persisted_refusals_.load() > 0 && last_kind_.load() == AddressKind::kBoard;
    {
      std::lock_guard lock(mu_);
      trouble_ = trouble;
    }
    ClosingSteps(trouble);
  }
  running_.store(false);
  if (on_finished_) frame_.Post(on_finished_);
}

void AlbumRetrieval::BoardPath(const Text& address, const shell::ServiceProfile& profile,
                               web::RegexObject& regex, RetrievalRequests& requests) {
  const Text& host = state_.service.web_host;
  const int pause = PauseAfterPage(profile);
  const Text board_page = Utf8ToGbk(requests.Inet("贴吧首页"_gbk, address));
  {
    std::lock_guard lock(mu_);
    source_.board_title = WithoutLineBreaksAndBlanks(shell::FindMarked(board_page, profile.board_title));
    source_.board_name = BoardNameOf(address);
  }
  // The interfaces' addresses for the board, over https from now on where
  // the board page's request was sent there.
  SetListBase(Upgraded(shell::WithPath(address, host, profile.list_path), requests));
  {
    std::lock_guard lock(mu_);
    source_.guide_base_address = Upgraded(shell::WithPath(address, host, profile.guide_path), requests);
  }
  // The interfaces of the album list in the profile's order: the next is
  // asked when one does not answer as an album list does (a board without
  // albums still answers its total of 0).
  const std::vector<std::string> order = shell::OrderOf(profile.order_albums);
  const RetrievalRequests::Mark before = requests.Checkpoint();
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0) {
      frame_.AppendEditText(mw::编辑框_操作记录,
                            {InterfaceShown(order[i - 1]), "接口没有答复可读的相册列表，改用"_gbk,
                             InterfaceShown(order[i]), "接口\r\n"_gbk});
    }
    requests.set_once(i + 1 < order.size());
    const bool answered = order[i] == "albums"
                              ? AlbumListPages(address, profile, regex, requests, pause)
                              : AlbumTab(address, profile, regex, requests, pause);
    requests.set_once(false);
    if (answered) {
      // What the interfaces before this one could not answer is not missed.
      if (i > 0) requests.Forget(before);
      return;
    }
  }
}

bool AlbumRetrieval::AlbumListPages(const Text& address, const shell::ServiceProfile& profile,
                                    web::RegexObject& regex, RetrievalRequests& requests,
                                    int pause) {
  const Text album_list =
      Upgraded(shell::WithPath(address, state_.service.web_host, profile.albums_path), requests);
  const auto page_address = [&](int p) {
    return album_list + shell::FillIn(profile.albums_query,
                                      {{"page", std::to_string(p)},
                                       {"page_size", std::to_string(profile.albums_page_size)},
                                       {"random", web::RandomText()}});
  };

  const Text first = requests.WinHttp("相册列表第1页"_gbk, page_address(1), pause, false);
  // A board without albums answers a page of its own, without the total;
  // only a refusal or an answer with nothing to read leaves the albums to
  // the next interface, where there is one.
  const bool answered = !requests.last_troubled();
  if (!answered && requests.once()) return false;
  const int total = rt::ToInteger(DigitsOnly(shell::FindMarked(first, profile.albums_total)));
  const int pages = total / profile.albums_page_size + 1;

  const Text pattern = rt::FromUtf8(profile.albums_entry);
  for (int p = 1; p <= pages; ++p) {
    const Text page =
        requests.WinHttp("相册列表第"_gbk + std::to_string(p) + "页"_gbk, page_address(p), pause, false);
    AppendAlbums(regex, pattern, page);
    frame_.ProcessEvents();
  }
  return answered;
}

bool AlbumRetrieval::AlbumTab(const Text& address, const shell::ServiceProfile& profile,
                              web::RegexObject& regex, RetrievalRequests& requests, int pause) {
  // The album HTML stands inside the page's comments; nothing outside them
  // is taken for an album.
  // Asked as the newer interfaces are: checked https, a browser's agent,
  // and the board's name in UTF-8, as its query says.
  const Text board = BoardNameOf(address);
  const Text tab = board.empty()
                       ? shell::JoinQuery(address, profile.album_tab_query)
                       : Scheme(requests) + state_.service.web_host + "/f?kw=" +
                             web::PercentEncode(rt::ToUtf8(board)) + profile.album_tab_query;
  const Text page = Utf8ToGbk(requests.Inet("贴吧相册页"_gbk, Upgraded(tab, requests), profile.agent_current));
  web::WaitResponsive(pause);
  // Only albums found tell the tab from another page that has comments.
  const int rows = frame_.ListRowCount(mw::超级列表框1);
  AppendAlbums(regex, rt::FromUtf8(profile.album_tab_entry),
               shell::FindAllMarked(page, profile.album_tab_comment));
  return frame_.ListRowCount(mw::超级列表框1) > rows;
}

void AlbumRetrieval::AppendAlbums(web::RegexObject& regex, const Text& pattern, const Text& page) {
  if (!regex.Search(pattern, page)) return;
  const int matches = regex.MatchCount();
  for (int m = 1; m <= matches; ++m) {
    Text name = regex.SubMatchText(m, 3);
    if (name.empty()) name = "未知名称_"_gbk + AlbumLetters(regex.SubMatchText(m, 2));
    AppendAlbumRow(name, regex.SubMatchText(m, 1), regex.SubMatchText(m, 2), true);
    frame_.ProcessEvents();
  }
}

bool AlbumRetrieval::ThreadPath(const Text& address, const shell::ServiceProfile& profile,
                                RetrievalRequests& requests) {
  const Text& host = state_.service.web_host;
  Text thread_id = web::TextBetween(address, host + "/p/", "#!/");
  if (thread_id.empty()) thread_id = TextAfterLast(address, host + "/p/");

  const std::vector<std::string> board_order = shell::OrderOf(profile.order_thread_board);
  const auto named = [&](std::string_view name) {
    return shell::InOrder(profile.order_thread, name) || shell::InOrder(profile.order_album, name);
  };
  // The page is asked once where the guide or the client's page may name
  // the board instead (its title is then the only loss).
  const RetrievalRequests::Mark before_page = requests.Checkpoint();
  requests.set_once(board_order.size() > 1 || board_order[0] != "page");
  const Text page = requests.WinHttp(
      "帖子页面"_gbk, Scheme(requests) + host + shell::FillIn(profile.thread_path, {{"tid", thread_id}}),
      PauseAfterPage(profile), true);
  requests.set_once(false);
  Text name = shell::FindMarked(page, profile.thread_title);
  if (name.empty()) name = "贴吧相册"_gbk;
  const Text see_lz = frame_.IsChecked(mw::选择框_下载帖子全部图片) ? "0" : "1";
  const bool every_poster = see_lz == "0";
  const auto guide_at = [&](const Text& base, const Text& cursor) {
    return shell::JoinQuery(base, shell::FillIn(profile.guide_query, {{"tid", thread_id},
                                                                      {"see_lz", see_lz},
                                                                      {"next", "1"},
                                                                      {"cursor", cursor},
                                                                      {"random", web::RandomText()}}));
  };
  // The guide asked by the thread alone, as the service answers it by
  // today: no board in its address.
  const Text guide_by_thread = Scheme(requests) + host + profile.guide_path;

  // The board's address names the board; the list's and the guide's are
  // asked on the web host, as the thread page was. An address on another
  // host names no board here. A page without it (the service's newer
  // pages) leaves the board to the guide's or the client's answer.
  Text board_address;
  Text board_name;       // GBK, once an answer named the board
  Text guide_text;       // the guide's first answer, once asked
  bool guide_asked = false;
  Text picpage_text;     // the client's first window, once asked
  std::string last_asked;
  for (const std::string& source : board_order) {
    if (!board_address.empty()) break;
    if (!last_asked.empty()) {
      frame_.AppendEditText(mw::编辑框_操作记录,
                            {InterfaceShown(last_asked), "没有给出贴吧名，改用"_gbk,
                             InterfaceShown(source), "接口\r\n"_gbk});
    }
    last_asked = source;
    if (source == "page") {
      const Text furl = shell::FindMarked(page, profile.thread_board);
      if (!shell::BoardInterface(furl, host, profile.guide_path).empty()) {
        board_address = furl;
        board_name = BoardNameOf(furl);
      }
      continue;
    } else if (source == "guide") {
      guide_text = requests.Guide("图片导航"_gbk, guide_at(guide_by_thread, {}));
      guide_asked = true;
      json::JsonHandle json;
      if (json::JsonParse(json, guide_text)) board_name = json::JsonPathText(json, profile.guide_forum);
    } else if (source == "picpage") {
      picpage_text = requests.Picpage(profile, shell::ClientAddressOf(state_.service),
                                      {.tid = thread_id, .every_poster = every_poster});
      json::JsonHandle json;
      if (json::JsonParse(json, picpage_text)) board_name = json::JsonPathText(json, profile.picpage_forum_name);
    }
    if (board_name == "null") board_name.clear();
    if (!board_name.empty()) board_address = BoardAddressOf(host, board_name);
  }
  const auto base = [&](const std::string& path) {
    return Upgraded(shell::BoardInterface(board_address, host, path), requests);
  };
  const Text guide_base = board_address.empty() ? guide_by_thread : base(profile.guide_path);
  {
    std::lock_guard lock(mu_);
    source_.board_name = board_name;
    source_.guide_base_address = guide_base;
  }
  // A page title that is all the page gives ("TITLE_BOARD吧", as the
  // newer pages write it) loses the board's name, so that the album keeps
  // the name, and so the folder, its older pages gave it.
  if (const Text suffix = "_" + board_name + "吧"_gbk;
      suffix.size() > 3 && name.size() > suffix.size() && name.ends_with(suffix)) {
    name.resize(name.size() - suffix.size());
  }

  // The guide's count, asked with the board where it is known.
  // A guide that brought nothing by the thread alone is asked again only
  // with a board another answer named; one left out of the order, never.
  json::JsonHandle guide;
  if (guide_text.empty() && named("guide") && (!guide_asked || !board_address.empty()))
    guide_text = requests.Guide("图片导航"_gbk, guide_at(guide_base, {}));
  const bool parsed = json::JsonParse(guide, guide_text);
  Text count = parsed ? json::JsonPathText(guide, profile.guide_amount) : Text();
  if (rt::ToInteger(count) == 5000) {
    // The guide counts at most 5000 from where it starts; asking again from
    // the first picture gives the thread's own count.
    const json::JsonHandle first = json::JsonGetMember(
        json::JsonGetPath(guide, profile.guide_pictures), shell::FillIn(profile.guide_key, {{"n", "1"}}));
    json::JsonHandle again;
    if (json::JsonParse(again,
                        requests.Guide("图片导航"_gbk, guide_at(guide_base, json::JsonPathText(first, profile.guide_id))))) {
      count = json::JsonPathText(again, profile.guide_amount);
    }
  }
  if (count == "null") count.clear();
  // Without the guide's count, the client's picture page gives it.
  if (count.empty() && named("picpage")) {
    if (picpage_text.empty()) {
      frame_.AppendEditText(mw::编辑框_操作记录,
                            {"图片导航接口没有给出图片数，改用"_gbk, InterfaceShown("picpage"), "接口\r\n"_gbk});
      picpage_text = requests.Picpage(profile, shell::ClientAddressOf(state_.service),
                                      {.board_name = board_name,
                                       .tid = thread_id,
                                       .every_poster = every_poster});
    }
    json::JsonHandle json;
    if (json::JsonParse(json, picpage_text)) count = json::JsonPathText(json, profile.picpage_amount);
    if (count == "null") count.clear();
  }
  // A thread that is no board album (no picture list) has a separator
  // count of null (false, as the service answers by today).
  const bool no_album = parsed && NoBoardAlbum(guide_text, profile.guide_sep);
  SetListBase(no_album || board_address.empty() ? guide_base : base(profile.list_path), no_album);
  if (!no_album && board_address.empty()) {
    std::lock_guard lock(mu_);
    source_.list_base_address.clear();
  }
  // What the page and the interfaces asked for the board could not answer
  // is not missed once the count came: the row is there to download.
  if (!count.empty()) requests.Forget(before_page);
  AppendAlbumRow(name, count, thread_id, count != "0");
  return !count.empty();
}

Text AlbumRetrieval::Scheme(const RetrievalRequests& requests) const {
  return https_ || requests.answered_https() ? "https://" : "http://";
}

Text AlbumRetrieval::Upgraded(const Text& address, const RetrievalRequests& requests) const {
  if (Scheme(requests) == "https://" && rt::LeftText(address, 7) == "http://")
    return "https://" + address.substr(7);
  return address;
}

rt::Text InterfaceShown(std::string_view name) {
  if (name == "albums") return "相册列表"_gbk;
  if (name == "album_tab") return "贴吧相册页"_gbk;
  if (name == "page") return "帖子页面"_gbk;
  if (name == "guide") return "图片导航"_gbk;
  if (name == "picpage") return "客户端图片页"_gbk;
  if (name == "list") return "图片列表"_gbk;
  return Text(name);
}

int AlbumRetrieval::PauseAfterPage(const shell::ServiceProfile& profile) const {
  return pauses_.after_list_request_ms >= 0 ? pauses_.after_list_request_ms
                                            : profile.wait_after_page_ms;
}

void AlbumRetrieval::AppendAlbumRow(std::string_view name, std::string_view count,
                                    std::string_view id, bool ticked) {
  const frame::ControlRef list = mw::超级列表框1;
  const int row = frame_.ListAppendRow(list);
  frame_.ListSetCell(list, row, mw::kColumnNumber, std::to_string(row + 1));
  frame_.ListSetCell(list, row, mw::kColumnName, name);
  frame_.ListSetColumnWidth(list, mw::kColumnCover, 0);
  frame_.ListSetCell(list, row, mw::kColumnCount, count);
  frame_.ListSetCell(list, row, mw::kColumnId, id);
  frame_.ListSetTick(list, row, ticked ? frame::kTicked : frame::kUnticked);
}

void AlbumRetrieval::ClosingSteps(const RetrievalTrouble& trouble) {
  frame_.ProcessEvents();
  const std::string n = std::to_string(frame_.ListRowCount(mw::超级列表框1));
  frame_.SetCaption(mw::标签_动态, "温馨提示：相册列表获取完毕,共计"_gbk + n + "个"_gbk);
  frame_.AppendEditText(mw::编辑框_操作记录,
                        {"-----获取完毕,共计"_gbk, n, "个"_gbk, "\r\n\r\n"});
  // A service out of reach or answering errors is not a board without
  // albums: the count above is followed by what went wrong.
  if (const Text message = TroubleMessage(trouble); !message.empty()) {
    frame_.AppendEditText(mw::编辑框_操作记录, {message, "\r\n\r\n"});
    frame_.ShowMessageBox(message);
  }
}

RetrievalTrouble AlbumRetrieval::trouble() const {
  std::lock_guard lock(mu_);
  return trouble_;
}

}  // namespace discovery
