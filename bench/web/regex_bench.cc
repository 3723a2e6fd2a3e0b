// The album-list extraction of a 300 KB page: the album pattern through the
// regex object (whole Search from GBK, code-page conversions included) and
// through the bridge's engine class on the already converted subject,
// against a bare PCRE2 JIT match loop over that same subject (the floor).
// Then the step budget from both sides, against the same floor: pages whose
// last album entry is broken (a long lazy scan that must still run to the
// end) and a runaway pattern (which must give up).
// Run pinned to one CPU for stable figures: taskset -c 1 web_regex_bench
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "automation/automation_classes.h"
#include "platform/regex_pcre2.h"
#include "ratio_reporter.h"
#include "runtime/gbk.h"
#include "web/regex_object.h"

namespace {

using rt::operator""_gbk;

// The album entry pattern; \\" matches the backslash and quote of HTML that
// stands inside a JSON string.
const std::string& AlbumPattern() {
  return R"(<span class=\\"grbm_ele_pic_amount \\">(.*?)<span class=\\"grbm_ele_pic_amount_letter\\">张</span></span></a>          <div class=\\"grbm_ele_title\\"><a hidefocus=\\"true\\" target=\\"_blank\\" href=\\"/p/(.*?)\\" title=\\"(.*?)\\">(.*?)</a></div>)"_gbk;
}

// About 300 KB of list-page markup with 30 album entries spread through it.
const std::string& Page() {
  static const std::string page = [] {
    const std::string& filler =
        R"(<li class=\"grbm_item\"><span class=\"grbm_user\">吧友昵称</span><p class=\"grbm_desc\">这是一段描述文字 with some ascii text 123</p></li>\n)"_gbk;
    const std::string& entry_head = R"(<span class=\"grbm_ele_pic_amount \">)"_gbk;
    const std::string& entry_mid =
        R"(<span class=\"grbm_ele_pic_amount_letter\">张</span></span></a>          <div class=\"grbm_ele_title\"><a hidefocus=\"true\" target=\"_blank\" href=\"/p/)"_gbk;
    std::string out = "{\"data\":{\"html\":\"";
    for (int album = 0; album < 30; ++album) {
      while (out.size() < static_cast<size_t>(album + 1) * 10000) out += filler;
      std::string name = "风景相册"_gbk + std::to_string(album);
      out += entry_head + std::to_string(album * 7 + 1) + entry_mid +
             std::to_string(4000000 + album) + R"(\" title=\")" + name + R"(\">)" + name +
             "</a></div>";
    }
    out += "\"}}";
    return out;
  }();
  return page;
}

const std::u16string& WidePage() {
  static const std::u16string wide = automation::TextToWide(Page());
  return wide;
}

void BM_BarePcre2Jit(benchmark::State& state) {
  std::u16string pattern = automation::TextToWide(AlbumPattern());
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_CASELESS | PCRE2_MULTILINE, &error, &offset, nullptr);
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const std::u16string& subject = WidePage();
  int found = 0;
  for (auto _ : state) {
    found = 0;
    size_t start = 0;
    while (pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                           start, 0, data, nullptr) > 0) {
      start = pcre2_get_ovector_pointer(data)[1];
      ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  if (found != 30) state.SkipWithError("wrong match count");
  pcre2_match_data_free(data);
  pcre2_code_free(code);
}

void BM_EngineExecuteOnConvertedSubject(benchmark::State& state) {
  automation::ObjectSlot regex;
  automation::CreateObject(&regex, automation::kRegExpProgId);
  automation::SetProperty(regex, "IgnoreCase", {true});
  automation::SetProperty(regex, "Multiline", {true});
  automation::SetProperty(regex, "Global", {true});
  automation::SetProperty(regex, "Pattern", {AlbumPattern()});
  automation::VariantSlot subject{WidePage()};
  double count = 0;
  for (auto _ : state) {
    automation::ObjectSlot matches = automation::CallMethodObject(regex, "Execute", {subject});
    count = automation::GetPropertyNumber(matches, "Count");
  }
  if (count != 30) state.SkipWithError("wrong match count");
}

void BM_RegexObjectSearch(benchmark::State& state) {
  web::RegexObject regex;
  int count = 0;
  for (auto _ : state) {
    regex.Search(AlbumPattern(), Page());
    count = regex.MatchCount();
  }
  if (count != 30) state.SkipWithError("wrong match count");
}

void BM_RegexObjectSearchAndReadRows(benchmark::State& state) {
  web::RegexObject regex;
  size_t bytes = 0;
  for (auto _ : state) {
    regex.Search(AlbumPattern(), Page());
    for (int m = 1; m <= regex.MatchCount(); ++m) {
      for (int g = 1; g <= 4; ++g) bytes += regex.SubMatchText(m, g).size();
    }
  }
  benchmark::DoNotOptimize(bytes);
}

// A list page of `bytes` on one line: 29 good entries, a broken 30th (its
// link text closed by another tag), then plain links. Each link gives the
// broken entry's last lazy groups another place to try, and each try scans
// to the end of the line.
std::string BrokenPage(size_t bytes) {
  const std::string& head = R"(<li><span class=\"grbm_ele_pic_amount \">)"_gbk;
  const std::string& mid =
      R"(<span class=\"grbm_ele_pic_amount_letter\">张</span></span></a>          <div class=\"grbm_ele_title\"><a hidefocus=\"true\" target=\"_blank\" href=\"/p/)"_gbk;
  std::string out = "{\"data\":{\"html\":\"";
  for (int album = 0; album < 30; ++album) {
    std::string name = "相册"_gbk + std::to_string(album);
    out += head + std::to_string(album + 1) + mid + std::to_string(4000000 + album) +
           R"(\" title=\")" + name + R"(\">)" + name +
           (album == 29 ? "</a></span>" : "</a></div>") + R"(</li>\n)";
  }
  for (int link = 0; out.size() < bytes; ++link) {
    out += R"(<a href=\"/p/)" + std::to_string(5000000 + link) + R"(\">a link</a>)";
  }
  return out + "\"}}";
}

// Searches the broken page through the regex object; reports an error
// unless the engine searched it to the end and found the 29 good entries.
void BM_BrokenPage(benchmark::State& state) {
  const std::string page = BrokenPage(static_cast<size_t>(state.range(0)));
  platform::Regex16 engine;
  std::vector<platform::RegexMatch> matches;
  engine.Compile(automation::TextToWide(AlbumPattern()), true, true);
  bool in_full = engine.FindAll(automation::TextToWide(page), true, &matches);
  web::RegexObject regex;
  int count = 0;
  for (auto _ : state) {
    regex.Search(AlbumPattern(), page);
    count = regex.MatchCount();
  }
  state.counters["units"] = static_cast<double>(automation::TextToWide(page).size());
  state.counters["budget"] = platform::MatchStepBudget(automation::TextToWide(page).size(), true);
  if (!in_full || count != 29) state.SkipWithError("page not searched in full");
}

// A pattern that backtracks without end over `units` units of "a" and a "b":
// the search must fail, after one step budget.
void BM_RunawayPattern(benchmark::State& state) {
  const std::string subject(static_cast<size_t>(state.range(0)) - 1, 'a');
  web::RegexObject regex;
  bool found = true;
  for (auto _ : state) found = regex.Search("(a+)+$", subject + "b", {}, false);
  state.counters["budget"] = platform::MatchStepBudget(subject.size() + 1, true);
  if (found) state.SkipWithError("the runaway search did not fail");
}

BENCHMARK(BM_BarePcre2Jit)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineExecuteOnConvertedSubject)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegexObjectSearch)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegexObjectSearchAndReadRows)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BrokenPage)
    ->Arg(70000)
    ->Arg(300000)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunawayPattern)
    ->Arg(41)
    ->Arg(70000)
    ->Arg(300000)
    ->Iterations(1)
    ->Repetitions(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  web_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nPage of %zu bytes, against bare PCRE2 JIT (engine target: within 2x;"
              " whole Search target: under 2 ms):\n", Page().size());
  reporter.PrintRatio("BM_EngineExecuteOnConvertedSubject", "BM_BarePcre2Jit");
  reporter.PrintRatio("BM_RegexObjectSearch", "BM_BarePcre2Jit");
  reporter.PrintRatio("BM_RegexObjectSearchAndReadRows", "BM_BarePcre2Jit");
  std::printf(
      "\nStep budget, against the same anchor: broken pages searched to the end,"
      " runaway searches given up:\n");
  for (const char* name :
       {"BM_BrokenPage/70000", "BM_BrokenPage/300000", "BM_RunawayPattern/41",
        "BM_RunawayPattern/70000", "BM_RunawayPattern/300000"}) {
    reporter.PrintRatio(name, "BM_BarePcre2Jit");
  }
  return 0;
}
