// The album-list extraction of a 300 KB page: the album pattern through the
// regex object (whole Search from GBK, code-page conversions included) and
// through the bridge's engine class on the already converted subject,
// against a bare PCRE2 JIT match loop over that same subject (the floor).
// Run pinned to one CPU for stable figures: taskset -c 1 web_regex_bench
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "automation/automation_classes.h"
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
  static const std::u16string wide = rt::TextToWide(Page());
  return wide;
}

void BM_BarePcre2Jit(benchmark::State& state) {
  std::u16string pattern = rt::TextToWide(AlbumPattern());
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
  rt::ObjectSlot regex;
  rt::CreateObject(&regex, rt::kRegExpProgId);
  rt::SetProperty(regex, "IgnoreCase", {true});
  rt::SetProperty(regex, "Multiline", {true});
  rt::SetProperty(regex, "Global", {true});
  rt::SetProperty(regex, "Pattern", {AlbumPattern()});
  rt::VariantSlot subject{WidePage()};
  double count = 0;
  for (auto _ : state) {
    rt::ObjectSlot matches = rt::CallMethodObject(regex, "Execute", {subject});
    count = rt::GetPropertyNumber(matches, "Count");
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

BENCHMARK(BM_BarePcre2Jit)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineExecuteOnConvertedSubject)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegexObjectSearch)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegexObjectSearchAndReadRows)->Repetitions(3)->Unit(benchmark::kMicrosecond);

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
  return 0;
}
