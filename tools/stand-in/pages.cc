// The HTML answers: board page, thread page, the album list's no-albums
// page, version page, security-check page and the plain error pages. Board
// and thread pages are UTF-8 or GBK as the data set's style says; the
// others have the one encoding the service used for them.
#include "stand-in/pages.h"

#include "platform/codepage.h"
#include "stand-in/texts.h"

namespace standin {
namespace {

constexpr char kAuthor[] = "折纸的猫";

bool GbkPages(const DataSet& data) { return data.style.page_charset == "gbk"; }

Answer HtmlAnswer(int status, const std::string& utf8, bool gbk) {
  Answer answer;
  answer.status = status;
  answer.content_type = gbk ? "text/html; charset=GBK" : "text/html; charset=UTF-8";
  answer.body = gbk ? Gbk(utf8) : utf8;
  return answer;
}

// The board address as the pages carry it in <meta furl>: no scheme, the
// keyword encoded in the page's own charset.
std::string Furl(const DataSet& data, const Hosts& hosts) {
  if (GbkPages(data)) return hosts.web + "/f?kw=" + PercentEncode(Gbk(data.board));
  return hosts.web + "/f?kw=" + PercentEncode(data.board) + "&ie=utf-8";
}

std::string Head(const DataSet& data, const Hosts& hosts, const std::string& extra_meta,
                 const std::string& title) {
  return std::string("<!DOCTYPE html><!--STATUS OK--><html><head><meta charset=\"") +
         (GbkPages(data) ? "gbk" : "utf-8") + "\"><meta furl=\"" + Furl(data, hosts) +
         "\" fname=\"" + HtmlEscape(data.board) + "\">" + extra_meta + "<title>" +
         HtmlEscape(title) + "</title>\n";
}

std::string ForumScript(const DataSet& data) {
  return "PageData.forum = {\"forum_name\":" +
         JsonString(data.board, JsonText::kEscaped, false) +
         ",\"forum_id\":" + data.forum_id + ",\"first_class\":\"\\u751f\\u6d3b\"};\n";
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string JsonTid(std::string_view tid) {
  return AllDigits(tid) ? std::string(tid) : JsonString(tid, JsonText::kEscaped, false);
}

}  // namespace

std::string BoardUrl(const Hosts& hosts, std::string_view board_utf8) {
  return "http://" + hosts.web + "/f?kw=" + PercentEncode(Gbk(board_utf8));
}

bool KeywordNamesBoard(std::string_view kw, std::string_view board_utf8) {
  return kw == board_utf8 || kw == Gbk(board_utf8);
}

Answer BoardPage(const DataIndex& index, const Hosts& hosts, std::string_view kw) {
  const DataSet& data = index.data();
  if (!KeywordNamesBoard(kw, data.board)) {
    std::string typed = IsUtf8(kw) ? std::string(kw) : platform::ToUtf8(kw);
    return HtmlAnswer(
        200,
        "<!DOCTYPE html><html><head><meta charset=\"" +
            std::string(GbkPages(data) ? "gbk" : "utf-8") + "\"><title>百度贴吧_" +
            HtmlEscape(typed) +
            "</title></head><body>\n<p>抱歉，根据相关法律法规和政策，本吧暂不开放。</"
            "p>\n</body></html>",
        GbkPages(data));
  }
  std::string kw_gbk = PercentEncode(Gbk(data.board));
  std::string page = Head(data, hosts, "", data.board + "吧_百度贴吧");
  page +=
      "<script>var PageData = {'tbs'  : \"\",'product' : \"frs\",'page' : \"frs\"};\n";
  page += ForumScript(data) + "PageData.forum.id = \"" + data.forum_id +
          "\";\n</script></head><body>\n";
  page +=
      "<div class=\"card_title \"><a class=\"card_title_fname\" title=\"\" "
      "href=\"/f?kw=" +
      kw_gbk + "\">" + HtmlEscape(data.board) + "吧</a></div>\n";
  page +=
      "<div id=\"content_wrap\"><!--\n<ul id=\"thread_list\" class=\"threadlist_bright "
      "j_threadlist_bright\">\n";
  int shown = 0;
  for (const Thread& t : data.threads) {
    if (++shown > 50) break;
    page += "<li class=\" j_thread_list clearfix\" data-field='{\"id\":" +
            HtmlEscape(JsonTid(t.tid)) +
            ",\"author_name\":" + JsonString(kAuthor, JsonText::kEscaped, false) +
            ",\"reply_num\":" + std::to_string(t.pictures.size()) +
            ",\"is_good\":false}'><a href=\"/p/" + HtmlEscape(t.tid) + "\" title=\"" +
            HtmlEscape(t.title) + "\" target=\"_blank\" class=\"j_th_tit \">" +
            HtmlEscape(t.title) + "</a></li>\n";
  }
  page += "</ul>\n--></div>\n</body></html>";
  return HtmlAnswer(200, page, GbkPages(data));
}

Answer ThreadPage(const DataIndex& index, const Hosts& hosts, std::string_view tid) {
  const DataSet& data = index.data();
  const Thread* thread = index.FindThread(tid);
  if (!thread) {
    return HtmlAnswer(
        404,
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>贴吧404</title>"
        "</head><body><p>很抱歉，该贴已被删除。</p></body></html>",
        false);
  }
  size_t replies = thread->pictures.size();
  std::string keywords = "<meta name=\"keywords\" content=\"百度贴吧," +
                         HtmlEscape(data.board) + "," + HtmlEscape(thread->title) + "\">";
  std::string page =
      Head(data, hosts, keywords, thread->title + "_" + data.board + "吧_百度贴吧");
  page += "<script>\n" + ForumScript(data);
  page += "PageData.thread = {        author: \"" + ScriptEscape(kAuthor) +
          "\",        thread_id:" + ScriptEscape(thread->tid) + ",        title: \"" +
          ScriptEscape(thread->title) + "\", reply_num:" + std::to_string(replies) +
          ", thread_type: \"0\", is_ad:0};\n</script></head><body>\n";
  page +=
      "<ul class=\"l_posts_num\"><li class=\"l_reply_num\" style=\"margin-left:8px\" "
      "><span "
      "class=\"red\" style=\"margin-right:3px\">" +
      std::to_string(replies) + "</span>回复贴，共<span class=\"red\">" +
      std::to_string(replies / 30 + 1) + "</span>页</li></ul>\n</body></html>";
  return HtmlAnswer(200, page, GbkPages(data));
}

Answer NoAlbumsPage(const DataSet& data, const Hosts& hosts) {
  std::string page =
      "<!DOCTYPE html><!--STATUS OK--><html><head><meta charset=\"gbk\"><meta furl=\"" +
      hosts.web + "/f?kw=" + PercentEncode(Gbk(data.board)) + "\" fname=\"" +
      HtmlEscape(data.board) + "\"><title>" + HtmlEscape(data.board) +
      "吧_图册_百度贴吧</title></head><body>\n<div "
      "class=\"grbm_empty\"><p>本吧还没有创建图册</p></div>\n</body></html>\n";
  return HtmlAnswer(200, page, true);
}

Answer VersionPage(const DataSet& data) {
  // Other products' marks come first, so that a reader must pick its own key.
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"gbk\"><title>软件最新版本</title>"
      "</head><body>\n<p>#qun@@3.2#qun</p>\n<p>#tieba@@" +
      HtmlEscape(data.style.newest_version) +
      "#tieba</p>\n<p>#kongjian@@2.0#kongjian</p>\n</body></html>";
  return HtmlAnswer(200, page, true);
}

Answer SecurityCheckPage() {
  return HtmlAnswer(
      200,
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><meta "
      "name=\"viewport\" "
      "content=\"width=device-width,initial-scale=1\"><title>百度安全验证</title></"
      "head>\n<body>\n"
      "<div class=\"verify-box\"><p "
      "class=\"verify-tip\">请完成下方验证后继续操作</p><div "
      "id=\"verify-widget\" data-scene=\"tieba_pc\"></div></div>\n<script "
      "src=\"https://example.invalid/verify.js\"></script>\n</body></html>\n",
      false);
}

Answer StatusPage(int status) {
  Answer answer =
      HtmlAnswer(status,
                 "<html><head><title>" + std::to_string(status) +
                     "</title></head><body><center><h1>" + std::to_string(status) +
                     "</h1></center></body></html>\n",
                 false);
  if (status == 429) answer.headers.emplace_back("Retry-After", "30");
  return answer;
}

Answer NotFoundPage() { return StatusPage(404); }

}  // namespace standin
