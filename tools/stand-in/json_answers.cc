// The JSON answers: album-list pages (HTML inside a JSON string), the
// picture guide and the page-numbered picture list. Compact JSON with the
// member order of the captured answers; strings in the data set's chosen
// form (raw GBK or \u escapes). A successful answer's members then take
// the style's changes (member_changes.h); error answers stay as captured.
#include <algorithm>
#include <cstdio>

#include "stand-in/member_changes.h"
#include "stand-in/pages.h"
#include "stand-in/picture_files.h"
#include "stand-in/texts.h"
#include "stand-in/today_answers.h"

namespace standin {
namespace {

constexpr char kSuccess[] = "\"error\":\"sucess!\"";  // sic: the service's own spelling
constexpr size_t kLinkTextLimit = 12;                 // longer album names are cut in the link text

Answer JsonAnswer(std::string body, JsonText form) {
  Answer answer;
  answer.content_type =
      form == JsonText::kGbk ? "application/json; charset=GBK" : "application/json";
  answer.body = std::move(body);
  return answer;
}

uint64_t Fnv(std::string_view text, uint64_t basis) {
  uint64_t h = basis;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h;
}

// `utf8` cut to `limit` characters plus "..." when it is longer.
std::string LinkText(const std::string& utf8) {
  size_t characters = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
    if (++characters > kLinkTextLimit) return utf8.substr(0, i) + "...";
  }
  return utf8;
}

std::string AlbumEntry(const Hosts& hosts, const Thread& album) {
  std::string cover = album.pictures.empty() ? std::string(40, '0') : album.pictures[0].id;
  std::string href = "/p/" + HtmlEscape(album.tid);
  return "<div class=\"grbm_ele_wrapper\"><a class=\"grbm_ele_a grbm_ele_big\" "
         "hidefocus=\"true\" "
         "target=\"_blank\" href=\"" +
         href + "\"><img class=\"grbm_ele_img\" src=\"http://" + hosts.picture +
         "/forum/abpic/item/" + HtmlEscape(cover) +
         ".jpg\" /><span class=\"grbm_ele_pic_amount \">" + std::to_string(album.pictures.size()) +
         "<span class=\"grbm_ele_pic_amount_letter\">张</span></span></a>          <div "
         "class=\"grbm_ele_title\"><a hidefocus=\"true\" target=\"_blank\" href=\"" +
         href + "\" title=\"" + HtmlEscape(album.title) + "\">" +
         HtmlEscape(LinkText(album.title)) + "</a></div></div>\r\n";
}

std::string GuideEntry(const DataSet& data, const Hosts& hosts, const Thread& thread,
                       const Picture& p, size_t position) {
  const AnswerStyle& style = data.style;
  auto str = [&](std::string_view text) {
    return JsonString(text, style.guide_text, style.escape_slashes);
  };
  std::string format = std::to_string(static_cast<int>(p.format));
  std::string size = std::to_string(PictureFileSize(p.format, p.id, p.size));
  std::string original = OriginalUrl(hosts, p.id), screen = ScreenUrl(hosts, p.id);
  if (p.address == AddressKind::kEmpty) original = screen = "";
  if (p.address == AddressKind::kNotHttp) {
    original = "ftp://" + hosts.picture + "/forum/pic/item/" + p.id + ".jpg";
    screen = original;
  }
  std::string medium =
      "http://" + hosts.picture + "/forum/w%3D194/sign=" + PictureSign(p.id) + "/" + p.id + ".jpg";
  std::string id = str(p.id);
  std::string entry =
      "{\"img\":{\"original\":{\"id\":" + id + ",\"width\":\"1\",\"height\":\"1\",\"size\":\"" +
      size + "\",\"format\":\"" + format + "\",\"waterurl\":" + str(original) +
      "},\"medium\":{\"id\":" + id + ",\"url\":" + str(medium) +
      ",\"width\":1,\"height\":1,\"size\":0,\"format\":\"" + format +
      "\"},\"screen\":{\"id\":" + id + ",\"width\":1,\"height\":1,\"size\":0,\"format\":\"" +
      format + "\",\"waterurl\":" + str(screen) + "}";
  if (style.guide_img_format == "number") entry += ",\"format\":" + format;
  if (style.guide_img_format == "string") entry += ",\"format\":\"" + format + "\"";
  return entry + "},\"descr\":" + str(p.descr) +
         ",\"src_url\":\"\",\"src_text\":\"\",\"pic_type\":null,\"post_id\":\"" +
         PostId(thread.tid, position) + "\"}";
}

std::string ListEntry(const DataSet& data, const Hosts& hosts, const Picture& p, size_t index) {
  auto str = [&](std::string_view text) {
    return JsonString(text, data.style.list_text, data.style.escape_slashes);
  };
  std::string sign = PictureSign(p.id);
  std::string murl =
      "http://" + hosts.picture + "/forum/wh%3D224%2C200/sign=" + sign + "/" + p.id + ".jpg";
  std::string purl =
      "http://" + hosts.picture + "/forum/w%3D399/sign=" + sign + "/" + p.id + ".jpg";
  return "{\"crop_height\":0,\"crop_width\":0,\"descr\":" + str(p.descr) +
         ",\"height\":1,\"index\":" + std::to_string(index) +
         ",\"mheight\":200,\"mleft\":0,\"mtop\":0,\"murl\":" + str(murl) +
         ",\"mwidth\":200,\"mwrapper_height\":200,\"mwrapper_width\":200,\"pheight\":399,"
         "\"pic_id\":" +
         str(p.id) + ",\"purl\":" + str(purl) +
         ",\"pwidth\":399,\"pwrapper_height\":399,\"pwrapper_width\":400,\"width\":1}";
}

}  // namespace

std::string PostId(std::string_view tid, size_t position) {
  return std::to_string(107845123401ULL + Fnv(tid, 7) % 1000000 * 1000 + position / 10);
}

std::string PictureSign(std::string_view id) {
  char hex[40];
  std::snprintf(hex, sizeof hex, "%016llx%016llx",
                static_cast<unsigned long long>(Fnv(id, 1469598103934665603ULL)),
                static_cast<unsigned long long>(Fnv(id, 0x84222325CBF29CE4ULL)));
  return std::string(hex, 32);
}

std::string OriginalUrl(const Hosts& hosts, std::string_view id) {
  return "http://" + hosts.picture + "/forum/pic/item/" + std::string(id) + ".jpg";
}

std::string ScreenUrl(const Hosts& hosts, std::string_view id) {
  return "http://" + hosts.picture + "/forum/wh%3D1024%2C768/sign=" + PictureSign(id) + "/" +
         std::string(id) + ".jpg";
}

Answer AlbumListPage(const DataIndex& index, const Hosts& hosts, const Route& route) {
  const DataSet& data = index.data();
  if (!KeywordNamesBoard(route.kw, data.board)) {
    return JsonAnswer("{\"no\":1,\"error\":\"failed!\",\"data\":[]}", JsonText::kEscaped);
  }
  const std::vector<const Thread*>& albums = index.albums();
  if (albums.empty()) return NoAlbumsPage(data, hosts);
  std::string kw = PercentEncode(Gbk(data.board));
  std::string html =
      "<div class=\"catalog_list\"><ul class=\"catalog_list_ul\"><li "
      "class=\"catalog_li_normal "
      "current\"><a class=\"j-catlog-item \" href=\"/photo/g?kw=" +
      kw +
      "&cat_id=all\"><span class=\"catalog_a_inner\">全部<span "
      "class=\"catalog_a_amount\">(" +
      std::to_string(albums.size()) + ")</span></span></a></li></ul></div>\r\n" +
      "<div class=\"picture_amount_total\">共有图片 " +
      std::to_string(index.total_album_pictures()) + " 张</div>\r\n" +
      "<div class=\"grbm_wrapper clearfix\">\r\n";
  size_t first = static_cast<size_t>(route.pn - 1) * route.rn;
  for (size_t i = first; i < albums.size() && i < first + route.rn; ++i) {
    html += AlbumEntry(hosts, *albums[i]);
  }
  html += "</div>";
  const AnswerStyle& style = data.style;
  return JsonAnswer(
      ChangeMembers("{\"no\":0," + std::string(kSuccess) +
                        ",\"data\":{\"catalog_detail_list_html\":" +
                        JsonString(html, style.album_list_text, style.escape_slashes) + "}}",
                    style),
      style.album_list_text);
}

Answer GuideAnswer(const DataIndex& index, const Hosts& hosts, const Route& route) {
  const DataSet& data = index.data();
  const Thread* thread = index.FindThread(route.tid);
  std::vector<const Picture*> pictures;
  if (thread) pictures = GuidePictures(*thread, route.starter_only);
  size_t cursor = 0;
  if (thread && !route.pic_id.empty()) {
    auto it = std::find_if(pictures.begin(), pictures.end(),
                           [&](const Picture* p) { return p->id == route.pic_id; });
    cursor = it - pictures.begin();
  }
  if (!thread || (!route.pic_id.empty() && cursor == pictures.size())) {
    return JsonAnswer("{\"no\":110003,\"error\":\"\\u53c2\\u6570\\u9519\\u8bef\",\"data\":[]}",
                      JsonText::kEscaped);
  }
  size_t amount = pictures.size();
  if (route.pic_id.empty()) amount = std::min<size_t>(amount, data.style.guide_amount_cap);
  if (data.style.guide_amount_claim >= 0) amount = data.style.guide_amount_claim;
  std::string list;
  if (pictures.empty()) {
    list = "[]";  // how the service writes an empty map
  } else {
    size_t from = cursor - std::min<size_t>(cursor, route.prev);
    size_t to =
        std::min(pictures.size() - 1, cursor + std::min(route.next, data.style.guide_next_cap));
    list = "{";
    for (size_t i = from; i <= to; ++i) {
      if (i > from) list += ",";
      list +=
          "\"#" + std::to_string(i + 1) + "\":" + GuideEntry(data, hosts, *thread, *pictures[i], i);
    }
    list += "}";
  }
  std::string members = "\"pic_amount\":" + std::to_string(amount) + ",\"pic_list\":" + list +
                        ",\"has_sep\":" + thread->has_sep;
  if (HasPart(data.style.today, TodayPart::kGuide)) {
    members = "\"pic_amount\":\"" + std::to_string(amount) + "\",\"pic_list\":" + list +
              ",\"has_sep\":" + (thread->album ? "1" : "false") + ",\"forum\":{\"name\":" +
              JsonString(data.board, data.style.guide_text, data.style.escape_slashes) +
              ",\"id\":" + std::to_string(ForumId(data)) + "}";
  }
  return JsonAnswer(
      ChangeMembers("{\"no\":0," + std::string(kSuccess) + ",\"data\":{" + members + "}}",
                    data.style),
      data.style.guide_text);
}

// Pages of `rn` pictures; within page `pn`, positions ps..pe (1-based, at
// most rn of them). This one rule serves both the program's pn paging with
// ps=1&pe=200 and the absolute ps/pe windows other clients send with pn=1.
Answer ListAnswer(const DataIndex& index, const Hosts& hosts, const Route& route) {
  const DataSet& data = index.data();
  const Thread* thread = index.FindThread(route.tid);
  if (!thread || !thread->album) {
    return JsonAnswer(
        "{\"no\":2210009,\"error\":\"\\u8be5\\u8d34\\u4e0d\\u662f\\u56fe\\u518c\\u8d34\","
        "\"data\":[]}",
        JsonText::kEscaped);
  }
  size_t total = thread->pictures.size();
  size_t rn = static_cast<size_t>(route.rn);
  size_t ps = std::max(route.ps, 1);
  size_t start = (static_cast<size_t>(route.pn) - 1) * rn + ps - 1;
  size_t count = static_cast<size_t>(route.pe) >= ps ? std::min<size_t>(route.pe - ps + 1, rn) : 0;
  std::string list = "[";
  for (size_t i = start; i < total && i < start + count; ++i) {
    if (i > start) list += ",";
    list += ListEntry(data, hosts, thread->pictures[i], i);
  }
  list += "]";
  return JsonAnswer(
      ChangeMembers("{\"data\":{\"cur_page\":" + std::to_string(route.pn) +
                        ",\"page_size\":" + std::to_string(rn) + ",\"pe\":\"" +
                        std::to_string(route.pe) + "\",\"pic_list\":" + list + ",\"ps\":\"" +
                        std::to_string(route.ps) + "\",\"total_num\":" + std::to_string(total) +
                        ",\"total_page\":" + std::to_string((total + rn - 1) / rn) +
                        ",\"wall_height\":208,\"wall_type\":" +
                        JsonString(data.style.list_wall_type, JsonText::kEscaped, false) + "}," +
                        kSuccess + ",\"no\":0}",
                    data.style),
      data.style.list_text);
}

}  // namespace standin
