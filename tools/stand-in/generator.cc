// The data-set generator: albums, threads and pictures from a seed and a
// size class, with the hostile texts laid over them on request.
#include "stand-in/generator.h"

#include <charconv>

namespace standin {
namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number in [low, high].
  uint32_t Range(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(Next() % (uint64_t{high} - low + 1));
  }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Next() % items.size()];
  }

 private:
  uint64_t state_;
};

struct SizeClass {
  int albums;
  uint32_t max_count;           // ordinary albums: 1 .. max_count pictures
  std::vector<int> big_albums;  // indexes of albums over 200 pictures
  uint32_t big_max;
  uint32_t mixed_thread_pictures;  // the ordinary thread of several posters
  uint32_t min_size, max_size;     // picture body sizes
};

std::optional<SizeClass> FindSizeClass(const std::string& size) {
  if (size == "tiny") return SizeClass{4, 7, {}, 0, 12, 200, 2000};
  if (size == "small") return SizeClass{35, 60, {10}, 250, 120, 1000, 16000};
  if (size == "medium") return SizeClass{95, 300, {10, 40, 70}, 1200, 6000, 1000, 8000};
  if (size == "large") {
    return SizeClass{300, 200, {10, 60, 110, 160, 210, 260}, 3000, 6000, 2000, 32000};
  }
  int albums = 0;
  auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), albums);
  if (ec != std::errc() || end != size.data() + size.size() || albums < 0 ||
      albums > 5000) {
    return std::nullopt;
  }
  return SizeClass{albums, 60,  albums > 10 ? std::vector<int>{10} : std::vector<int>{},
                   250,    120, 1000,
                   16000};
}

const std::vector<std::string> kBoards = {"纸飞机", "旧相机", "山海", "猫咪日常"};
const std::vector<std::string> kFirst = {"春日", "旧相机", "海边", "夏天",
                                         "城市", "夜景",   "猫咪", "山间",
                                         "雨后", "老街",   "校园", "纸飞机"};
const std::vector<std::string> kSecond = {"散步", "试片", "合集", "随拍", "记录",
                                          "小景", "日常", "旅行", "返图", "壁纸"};
const std::vector<std::string> kCaptions = {"纸飞机试飞", "春游",   "回收",     "落日",
                                            "晚霞",       "一只猫", "雨中的伞", "第一张"};

std::string Hex40(Random& random) {
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  while (id.size() < 40) {
    uint64_t bits = random.Next();
    for (int i = 0; i < 16 && id.size() < 40; ++i, bits >>= 4) id += kHex[bits & 15];
  }
  return id;
}

std::string AlbumName(Random& random, int index) {
  std::string name = random.Pick(kFirst) + random.Pick(kSecond);
  if (index % 4 == 3) name += std::to_string(random.Range(1, 12));
  return name;
}

std::string Description(Random& random, uint32_t n) {
  switch (random.Range(0, 3)) {
    case 0:
      return "IMG_" + std::to_string(2000 + n);
    case 1:
      return random.Pick(kCaptions) + "-" + std::to_string(n);
    case 2:
      return "";
    default:
      return Hex40(random);  // the service often shows a hash here
  }
}

void AddPictures(Random& random, const SizeClass& size_class,
                 const GeneratorOptions& options, uint32_t count, bool mixed,
                 Thread* thread) {
  thread->pictures.reserve(count);
  for (uint32_t n = 1; n <= count; ++n) {
    Picture p;
    p.id = Hex40(random);
    uint32_t kind = random.Range(0, 9);
    p.format = kind == 0   ? PictureFormat::kGif
               : kind == 1 ? PictureFormat::kPng
                           : PictureFormat::kJpeg;
    p.size = options.picture_size
                 ? options.picture_size
                 : random.Range(size_class.min_size, size_class.max_size);
    p.descr = Description(random, n);
    p.by_starter = !mixed || n % 3 != 2;
    thread->pictures.push_back(std::move(p));
  }
}

std::vector<std::string> HostileIds() {
  return {"../../escape", "a/b",        "a\\b", "..",
          "<>:\"|?*",     "id\x01\x1f", "東禱", std::string(1000, 'f')};
}

// Lays the hostile texts over the generated set: board name, album names,
// a few album ids, picture ids and descriptions, and picture addresses.
void MakeHostile(DataSet* data) {
  const std::vector<std::string>& texts = HostileTexts();
  data->board = "../纸飞机\\|:*?\"<>";
  std::vector<Thread*> albums;
  for (Thread& t : data->threads) {
    if (t.album) albums.push_back(&t);
  }
  for (size_t i = 0; i < albums.size(); ++i) albums[i]->title = texts[i % texts.size()];
  const std::vector<std::string> tids = {"4718203956/../../x", "..", "12 34"};
  for (size_t i = 0; i < tids.size() && i + 1 < albums.size(); ++i)
    albums[i + 1]->tid = tids[i];
  std::vector<std::string> ids = HostileIds();
  for (Thread& t : data->threads) {
    for (size_t i = 0; i < t.pictures.size(); ++i)
      t.pictures[i].descr = texts[i % texts.size()];
    if (!t.album && !t.pictures.empty()) {
      t.title = texts[0];
      for (size_t i = 0; i < t.pictures.size() && i < ids.size(); ++i) {
        t.pictures[i].id = ids[i];
      }
      if (t.pictures.size() > ids.size() + 1) {
        t.pictures[ids.size()].address = AddressKind::kEmpty;
        t.pictures[ids.size() + 1].address = AddressKind::kNotHttp;
        ids.clear();  // one thread carries them
      }
    }
  }
}

}  // namespace

const std::vector<std::string>& HostileTexts() {
  static const std::vector<std::string> texts = [] {
    std::string thousand;
    for (int i = 0; i < 500; ++i) thousand += "长";  // 1,000 bytes in GBK
    return std::vector<std::string>{
        "../../逃出去",
        "..\\..\\逃出去",
        "a/b\\c",
        "..",
        ".",
        "CON",
        "nul.txt",
        "<>:\"|?*",
        "東京禱告縷纜",  // GBK trail bytes 0x7C (東 縷 纜) and 0x5C (禱)
        "控制\x01\x02\x1f\x7f字符",
        "换行\r\n制表\t",
        "　前后空白　 ",
        "%2e%2e%2f",
        "结尾点.",
        thousand,
        ""};
  }();
  return texts;
}

std::optional<GeneratorOptions> ParseGenerateSpec(std::string_view spec,
                                                  std::string* error) {
  GeneratorOptions options;
  size_t comma = spec.find(',');
  std::string_view seed = spec.substr(0, comma);
  auto [end, ec] = std::from_chars(seed.data(), seed.data() + seed.size(), options.seed);
  if (seed.empty() || ec != std::errc() || end != seed.data() + seed.size()) {
    *error = "--generate wants SEED,SIZE[,hostile], e.g. 1,small";
    return std::nullopt;
  }
  if (comma != std::string_view::npos) {
    std::string_view rest = spec.substr(comma + 1);
    size_t second = rest.find(',');
    options.size = std::string(rest.substr(0, second));
    if (second != std::string_view::npos) {
      if (rest.substr(second + 1) != "hostile") {
        *error =
            "--generate: unknown option \"" + std::string(rest.substr(second + 1)) + "\"";
        return std::nullopt;
      }
      options.hostile = true;
    }
  }
  if (!FindSizeClass(options.size)) {
    *error = "--generate: unknown size \"" + options.size +
             "\" (tiny, small, medium, large or N)";
    return std::nullopt;
  }
  return options;
}

std::optional<DataSet> GenerateDataSet(const GeneratorOptions& options,
                                       std::string* error) {
  std::optional<SizeClass> size_class = FindSizeClass(options.size);
  if (!size_class) {
    *error = "unknown size \"" + options.size + "\"";
    return std::nullopt;
  }
  Random random(options.seed * 0x2545F4914F6CDD1DULL + 17);
  DataSet data;
  data.seed = options.seed;
  data.board = random.Pick(kBoards);
  data.forum_id = std::to_string(random.Range(1000000, 9999999));
  uint64_t tid = 4718203956ULL + random.Range(0, 100000);
  for (int i = 0; i < size_class->albums; ++i) {
    Thread album;
    album.tid = std::to_string(tid += 1877 + random.Range(0, 999));
    album.title = i == 1 ? "" : AlbumName(random, i);
    if (i == 3)
      album.title =
          "二〇一六年夏天在海边用旧胶片相机拍的全部照片";  // longer than the link
    uint32_t count = random.Range(1, size_class->max_count);
    if (i == 2) count = 0;
    for (int big : size_class->big_albums) {
      if (big == i) count = random.Range(201, size_class->big_max);
    }
    AddPictures(random, *size_class, options, count, false, &album);
    data.threads.push_back(std::move(album));
  }
  struct Ordinary {
    const char* title;
    uint32_t pictures;
    bool mixed;
  };
  for (Ordinary o :
       {Ordinary{"纸飞机试飞记录", size_class->mixed_thread_pictures, true},
        Ordinary{"楼主的相机自拍", 55, false}, Ordinary{"只有文字的帖子", 0, false}}) {
    Thread thread;
    thread.tid = std::to_string(tid += 1877 + random.Range(0, 999));
    thread.title = o.title;
    thread.album = false;
    thread.has_sep = "null";
    AddPictures(random, *size_class, options, o.pictures, o.mixed, &thread);
    data.threads.push_back(std::move(thread));
  }
  if (options.hostile) MakeHostile(&data);
  return data;
}

}  // namespace standin
