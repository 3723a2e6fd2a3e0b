// tiepic-cli against a service that turns visitors away: status 4 when a
// refusal persisted, listing or downloading, with nothing saved; a
// signed-in cookie file that opens a list shown only to signed-in visitors,
// its values never printed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program_run.h"
#include "platform/codepage.h"
#include "stand-in/certificates.h"
#include "stand-in/server.h"
#include "stand-in/today.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramRun;
using testing_support::RunProgram;
using Clock = std::chrono::steady_clock;

constexpr char kSecret[] = "TopSecret42";

standin::DataSet ThreeAlbums(standin::TodayParts today = 0) {
  standin::DataSet data;
  data.style.today = today;
  data.board = "纸飞机";
  for (int i = 0; i < 3; ++i) {
    standin::Thread t;
    t.tid = std::to_string(4718500000LL + i);
    t.title = "相册" + std::to_string(i + 1);
    for (int p = 0; p < 2; ++p) {
      standin::Picture picture;
      // Ids differ within their first 20 bytes, which is all the record keeps.
      picture.id = std::to_string(p) + t.tid + "000000000000";
      picture.size = 200;
      t.pictures.push_back(picture);
    }
    data.threads.push_back(std::move(t));
  }
  return data;
}

size_t PictureFiles(const fs::path& folder) {
  size_t files = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); ++it) {
    files += it->is_regular_file() && it->path().extension() == ".jpg" ? 1 : 0;
  }
  return files;
}

class CliRefusal : public ::testing::Test {
 protected:
  // The stand-in answers https too, as a signed-in run asks it; its
  // authority is the settings' ca_file.
  explicit CliRefusal(standin::TodayParts today = 0)
      : certificate_(standin::LoopbackCertificate((home_.path() / "ca.pem").string())),
        service_(ThreeAlbums(today), {.tls_certificate_pem = certificate_.certificate,
                                 .tls_key_pem = certificate_.key}) {
    std::string error;
    EXPECT_TRUE(service_.Start(&error)) << error;
    host_ = "127.0.0.1:" + std::to_string(service_.port());
    Settings("");
  }
  // The settings file: short refusal waits (a stand-in needs none) and `more`.
  void Settings(const std::string& more) {
    std::ofstream(home_.path() / "配置.ini", std::ios::binary)
        << platform::FromUtf8("[service]\nrefusal_wait_ms=20\nca_file=" +
                              (home_.path() / "ca.pem").string() + "\n" + more);
  }
  ProgramRun Cli(std::vector<std::string> more, double* seconds = nullptr,
                 const std::string& address = {}) {
    std::vector<std::string> arguments = {std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli",
                                          "--home",         home_.path().string(),
                                          "--web-host",     host_,
                                          "--picture-host", host_};
    arguments.insert(arguments.end(), more.begin(), more.end());
    arguments.push_back(address.empty() ? service_.BoardUrl() : address);
    const auto started = Clock::now();
    ProgramRun run = RunProgram(arguments);
    if (seconds) *seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return run;
  }
  std::string CookieFile(mode_t mode) {
    const fs::path path = home_.path() / "cookies.txt";
    std::ofstream(path, std::ios::binary)
        << "# Netscape HTTP Cookie File\n\n127.0.0.1\tFALSE\t/\tFALSE\t0\tBDUSS\t" << kSecret
        << "\r\n.example.org\tTRUE\t/\tFALSE\t0\tOTHER\telsewhere\nbroken line\n";
    ::chmod(path.c_str(), mode);
    return path.string();
  }

  testing_support::TempDir home_;
  standin::Pem certificate_;
  standin::StandIn service_;
  std::string host_;
};

TEST_F(CliRefusal, AServiceThatKeepsRefusingEndsListingAndDownloadingWithStatus4) {
  service_.AddFault("all:security-check");
  double seconds = 0;
  const ProgramRun list = Cli({"--list"}, &seconds);
  EXPECT_EQ(list.status, 4) << list.out << list.err;
  EXPECT_TRUE(list.out.empty()) << "no album rows: " << list.out;
  EXPECT_NE((list.out + list.err).find("被服务器拒绝（安全验证页），仍被拒绝，跳过"),
            std::string::npos)
      << list.err;
  EXPECT_LT(seconds, 30);

  service_.faults().Clear();
  service_.AddFault("list:status=429");
  const fs::path save = home_.path() / "save";
  // The list alone: no other interface stands in for it.
  const fs::path profile = home_.path() / "list-only.ini";
  std::ofstream(profile, std::ios::binary) << "[order]\nalbum=list\n";
  const ProgramRun download =
      Cli({"-o", save.string(), "--prevent-repeat", "--profile", profile.string()}, &seconds);
  EXPECT_EQ(download.status, 4) << download.out << download.err;
  EXPECT_NE(download.out.find("图片列表页被服务器拒绝（HTTP 429）"), std::string::npos)
      << download.out;
  EXPECT_EQ(PictureFiles(save), 0u);
  EXPECT_EQ(service_.Count(standin::Interface::kPicture), 0u);
  EXPECT_LT(seconds, 30);

  // Nothing was recorded: with the service answering again, every picture comes.
  service_.faults().Clear();
  const ProgramRun again = Cli({"-o", save.string(), "--prevent-repeat"});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(PictureFiles(save), 6u);
}

TEST_F(CliRefusal, ACookieFileOpensASignedInListAndItsValuesAreNeverPrinted) {
  service_.AddFault(std::string("album-list:cookie=BDUSS=") + kSecret);
  const ProgramRun without = Cli({"--list"});
  EXPECT_EQ(without.status, 4) << without.err;

  const std::string file = CookieFile(0644);
  service_.log().Clear();
  const ProgramRun list = Cli({"--list", "--cookies", file});
  EXPECT_EQ(list.status, 0) << list.out << list.err;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3) << list.out;
  const std::string printed = list.out + list.err;
  EXPECT_NE(printed.find("注意：Cookie文件" + file + "可被其他用户读取"), std::string::npos)
      << printed;
  EXPECT_NE(printed.find("已读取Cookie文件" + file + "：本服务的Cookie1个，无法识别的行1行已跳过"),
            std::string::npos)
      << printed;

  // From the settings file, downloading, with the file kept to its owner.
  ::chmod(file.c_str(), 0600);
  Settings("cookie_file=" + file + "\n");
  const fs::path save = home_.path() / "save";
  const ProgramRun download = Cli({"-o", save.string()});
  EXPECT_EQ(download.status, 0) << download.out << download.err;
  EXPECT_EQ(PictureFiles(save), 6u);
  EXPECT_EQ(download.out.find("可被其他用户读取"), std::string::npos);
  // Signed in, every page and picture went over https.
  const std::vector<standin::LogEntry> signed_in = service_.log().Entries();
  EXPECT_GT(service_.Count(standin::Interface::kPicture), 0u);
  for (const standin::LogEntry& entry : signed_in) EXPECT_EQ(entry.scheme, "https") << entry.target;

  for (const ProgramRun* run : {&without, &list, &download}) {
    EXPECT_EQ(run->out.find(kSecret), std::string::npos) << run->out;
    EXPECT_EQ(run->err.find(kSecret), std::string::npos) << run->err;
  }
  for (const auto& entry : fs::recursive_directory_iterator(home_.path())) {
    if (!entry.is_regular_file() || entry.path() == fs::path(file)) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content.find(kSecret), std::string::npos) << entry.path();
  }
}

// A certificate from an authority the settings do not trust: the signed-in
// requests fail, the log says why, and nothing reached the service.
TEST_F(CliRefusal, ACertificateThatFailsTheChecksIsSaidAndNothingIsSent) {
  std::ofstream(home_.path() / "ca.pem", std::ios::binary | std::ios::trunc)
      << standin::MakeAuthority("another authority").certificate;
  service_.log().Clear();
  const ProgramRun list = Cli({"--list", "--cookies", CookieFile(0600)});
  EXPECT_TRUE(list.out.empty()) << list.out;
  EXPECT_NE((list.out + list.err).find("证书校验失败："), std::string::npos) << list.err;
  EXPECT_EQ((list.out + list.err).find(kSecret), std::string::npos);
  EXPECT_TRUE(service_.log().Entries().empty());
}

TEST_F(CliRefusal, AMissingCookieFileIsSaidInOneLineAndTheRunGoesOn) {
  const std::string missing = (home_.path() / "nowhere.txt").string();
  const ProgramRun list = Cli({"--list", "--cookies", missing});
  EXPECT_EQ(list.status, 0) << list.err;
  const std::string printed = list.out + list.err;
  EXPECT_NE(printed.find("Cookie文件" + missing + "不存在，本次不带Cookie访问"),
            std::string::npos)
      << printed;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3);
}

// Today's service, as public reports describe it: HTML pages only for a
// signed-in browser, the album list retired, and plain http sent on to
// https.
class CliToday : public CliRefusal {
 protected:
  CliToday()
      : CliRefusal(static_cast<standin::TodayParts>(standin::TodayPart::kHtmlCheck) |
                   static_cast<standin::TodayParts>(standin::TodayPart::kAlbums) |
                   static_cast<standin::TodayParts>(standin::TodayPart::kHttps)) {}
};

TEST_F(CliToday, ABoardAsksForABrowserCheckUntilSignedInAndStaysOnHttps) {
  service_.log().Clear();
  const ProgramRun refused = Cli({"--list"});
  // The board page, asked over http as pasted, was sent on to https: every
  // later request went there at once.
  size_t http = 0;
  for (const standin::LogEntry& e : service_.log().Entries()) {
    if (e.scheme == "http") EXPECT_EQ(e.iface, standin::Interface::kBoard) << e.target;
    http += e.scheme == "http";
  }
  EXPECT_GT(http, 0u);
  EXPECT_EQ(refused.status, 4) << refused.out << refused.err;
  EXPECT_TRUE(refused.out.empty()) << refused.out;
  EXPECT_NE(refused.err.find("相册列表无法读取：服务要求浏览器安全验证"), std::string::npos)
      << refused.err;
  const ProgramRun quiet = Cli({"--list", "-q"});
  EXPECT_EQ(quiet.status, 4);
  EXPECT_NE(quiet.err.find("the service asked for a browser check"), std::string::npos)
      << quiet.err;

  // Signed in, every request goes over https, and the album tab lists the
  // albums.
  const std::string file = CookieFile(0600);
  service_.log().Clear();
  const ProgramRun list = Cli({"--list", "--cookies", file});
  EXPECT_EQ(list.status, 0) << list.out << list.err;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3) << list.out;
  EXPECT_NE(list.err.find("相册列表接口没有答复可读的相册列表，改用贴吧相册页接口"), std::string::npos)
      << list.err;
  for (const standin::LogEntry& e : service_.log().Entries())
    EXPECT_EQ(e.scheme, "https") << e.target;
  EXPECT_EQ(service_.Count(standin::Interface::kAlbumTab), 1u);

  // A thread page turned away is asked once, as the guide can name the
  // thread's count by the thread alone.
  service_.log().Clear();
  const std::string thread = service_.data().threads[1].tid;
  const ProgramRun listed = Cli({"--list"}, nullptr, service_.ThreadUrl(thread));
  EXPECT_EQ(listed.status, 0) << listed.out << listed.err;
  // (each over http first, which is sent on to https)
  EXPECT_EQ(service_.log().CountStatus(standin::Interface::kThread, 403), 1u) << listed.err;
  EXPECT_NE(listed.out.find("\t2\t"), std::string::npos) << listed.out;

  // The album tab checks its certificate as the board page does: an
  // authority not trusted lists nothing.
  std::ofstream(home_.path() / "配置.ini", std::ios::binary) << "[service]\nrefusal_wait_ms=20\n";
  std::string https_board = service_.BoardUrl();
  https_board.replace(0, 4, "https");
  const ProgramRun untrusted = Cli({"--list"}, nullptr, https_board);
  EXPECT_NE(untrusted.status, 0);
  EXPECT_TRUE(untrusted.out.empty()) << untrusted.out;
  EXPECT_NE(untrusted.err.find("证书校验失败：贴吧相册页"), std::string::npos) << untrusted.err;
  EXPECT_EQ(service_.Count(standin::Interface::kAlbumTab), 0u);
}

}  // namespace
