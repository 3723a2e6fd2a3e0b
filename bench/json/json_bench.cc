// How fast a page-numbered picture-list page is read: parse a 200-entry page
// (about 100 KB, descriptions as \u escapes) and walk it as the download
// does, fetching "data" -> "pic_list" afresh for every entry and reading
// each entry's id and description. RapidJSON (the anchor) and nlohmann-json
// do the same walk in the same run; they keep UTF-8 and print nothing, so
// they do less work than the JSON object, which turns escapes into GB18030
// and prints each value back as text.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "json/json_value.h"
#include "platform/codepage.h"

namespace {

constexpr int kEntries = 200;

std::string Hex(std::mt19937& random, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < digits; ++i) s.push_back(kDigits[random() % 16]);
  return s;
}

// A description in the service's shapes: a camera file name, a short
// Chinese caption, or a longer one with an escaped quote and an ampersand.
std::string Description(std::mt19937& random, int i) {
  static const char* kWords[] = {"\\u6625\\u6e38",        "\\u7eb8\\u98de\\u673a",
                                 "\\u8bd5\\u98de",        "\\u56de\\u6536",
                                 "\\u65e7\\u76f8\\u673a", "\\u6d77\\u8fb9",
                                 "\\u590f\\u5929",        "\\u7167\\u7247"};
  switch (i % 3) {
    case 0:
      return "IMG_" + std::to_string(2000 + i);
    case 1:
      return std::string(kWords[random() % 8]) + "-" + std::to_string(i);
    default: {
      std::string d = "\\\"";
      for (int w = 0; w < 6; ++w) d += kWords[random() % 8];
      return d + "\\\" \\u0026 " + kWords[random() % 8];
    }
  }
}

std::string Entry(std::mt19937& random, int i) {
  std::string id = Hex(random, 40), sign = Hex(random, 32);
  std::string host = "http://pictures.example.invalid/forum/";
  auto n = [&](int lo, int span) {
    return std::to_string(lo + static_cast<int>(random() % span));
  };
  return "{\"crop_height\":0,\"crop_width\":" + n(0, 800) + ",\"descr\":\"" +
         Description(random, i) + "\",\"height\":" + n(200, 1200) +
         ",\"index\":" + std::to_string(i) + ",\"mheight\":200,\"mleft\":" + n(0, 3) +
         ",\"mtop\":0,\"murl\":\"" + host + "wh%3D224%2C200/sign=" + sign + "/" + id +
         ".jpg\",\"mwidth\":" + n(100, 200) +
         ",\"mwrapper_height\":200,\"mwrapper_width\":" + n(100, 200) +
         ",\"pheight\":" + n(200, 400) + ",\"pic_id\":\"" + id + "\",\"purl\":\"" + host +
         "w%3D399/sign=" + sign + "/" + id +
         ".jpg\",\"pwidth\":399,\"pwrapper_height\":" + n(200, 400) +
         ",\"pwrapper_width\":400,\"width\":" + n(400, 1200) + "}";
}

const std::string& Page() {
  static const std::string page = [] {
    std::mt19937 random(2024);
    std::string s =
        "{\"data\":{\"cur_page\":1,\"page_size\":200,\"pe\":\"200\",\"pic_list\":[";
    for (int i = 0; i < kEntries; ++i) {
      if (i) s += ',';
      s += Entry(random, i);
    }
    return s +
           "],\"ps\":\"1\",\"total_num\":4000,\"total_page\":20},\"error\":\"sucess!\","
           "\"no\":0}";
  }();
  return page;
}

std::string WithoutQuotes(std::string text) {
  std::erase(text, '"');
  return text;
}

void BM_TiepicJson(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    json::JsonHandle handle;
    if (!json::JsonParse(handle, page)) state.SkipWithError("page did not parse");
    int k = json::JsonArrayLength(
        json::JsonGetMember(json::JsonGetMember(handle, "data"), "pic_list"));
    size_t total = 0;
    for (int j = 0; j < k; ++j) {
      json::JsonHandle item = json::JsonGetItem(
          json::JsonGetMember(json::JsonGetMember(handle, "data"), "pic_list"), j);
      total += WithoutQuotes(json::JsonToText(json::JsonGetMember(item, "pic_id"))).size();
      total += WithoutQuotes(json::JsonToText(json::JsonGetMember(item, "descr"))).size();
    }
    json::JsonRelease(handle);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

// Parses the page with RapidJSON and walks it like the download does; each
// description goes through `description_size`, which returns what it keeps.
template <class DescriptionSize>
void WalkWithRapidJson(benchmark::State& state, DescriptionSize description_size) {
  const std::string& page = Page();
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(page.data(), page.size());
    if (d.HasParseError()) state.SkipWithError("page did not parse");
    int k = static_cast<int>(d["data"]["pic_list"].Size());
    size_t total = 0;
    for (int j = 0; j < k; ++j) {
      const rapidjson::Value& item = d["data"]["pic_list"][j];
      total += std::string(item["pic_id"].GetString(), item["pic_id"].GetStringLength())
                   .size();
      total += description_size(
          std::string_view(item["descr"].GetString(), item["descr"].GetStringLength()));
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_RapidJson(benchmark::State& state) {
  WalkWithRapidJson(state, [](std::string_view descr) { return std::string(descr).size(); });
}

// RapidJSON doing the JSON object's whole job: the description turned into
// GBK text as the logic needs it.
void BM_RapidJsonWithGbkText(benchmark::State& state) {
  WalkWithRapidJson(state, [](std::string_view descr) {
    return platform::Convert(platform::CodePage::kUtf8, platform::CodePage::kGbk, descr).size();
  });
}

void BM_NlohmannJson(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    nlohmann::json d = nlohmann::json::parse(page, nullptr, false);
    if (d.is_discarded()) state.SkipWithError("page did not parse");
    int k = static_cast<int>(d["data"]["pic_list"].size());
    size_t total = 0;
    for (int j = 0; j < k; ++j) {
      const nlohmann::json& item = d["data"]["pic_list"][j];
      total += item["pic_id"].get<std::string>().size();
      total += item["descr"].get<std::string>().size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

// The parse alone, for the same three.
void BM_TiepicJsonParseOnly(benchmark::State& state) {
  for (auto _ : state) {
    json::JsonHandle handle;
    benchmark::DoNotOptimize(json::JsonParse(handle, Page()));
  }
}

void BM_RapidJsonParseOnly(benchmark::State& state) {
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(Page().data(), Page().size());
    benchmark::DoNotOptimize(d.HasParseError());
  }
}

void BM_NlohmannJsonParseOnly(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        nlohmann::json::parse(Page(), nullptr, false).is_discarded());
  }
}

BENCHMARK(BM_RapidJson);
BENCHMARK(BM_TiepicJson);
BENCHMARK(BM_NlohmannJson);
BENCHMARK(BM_RapidJsonWithGbkText);
BENCHMARK(BM_RapidJsonParseOnly);
BENCHMARK(BM_TiepicJsonParseOnly);
BENCHMARK(BM_NlohmannJsonParseOnly);

}  // namespace

BENCHMARK_MAIN();
