// Helpers of the stand-in's own tests: a plain HTTP fetch (no part of the
// program's request layer), the sample answers, and small data sets.
#ifndef TIEPIC_TESTS_TOOLS_STAND_IN_TEST_SUPPORT_H_
#define TIEPIC_TESTS_TOOLS_STAND_IN_TEST_SUPPORT_H_

#include <httplib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "stand-in/generator.h"
#include "stand-in/server.h"

namespace stand_in_test {

struct Fetched {
  int status = 0;  // 0: the transfer failed
  std::string body;
  httplib::Headers headers;
  httplib::Error error = httplib::Error::Success;
};

inline Fetched Fetch(int port, const std::string& target,
                     const httplib::Headers& headers = {}, int timeout_ms = 5000,
                     bool follow = false) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  client.set_follow_location(follow);
  client.set_read_timeout(timeout_ms / 1000, (timeout_ms % 1000) * 1000);
  Fetched fetched;
  httplib::Result result = client.Get(target.c_str(), headers);
  fetched.error = result.error();
  if (result) {
    fetched.status = result->status;
    fetched.body = result->body;
    fetched.headers = result->headers;
  }
  return fetched;
}

inline std::string Sample(const std::string& name) {
  std::ifstream in(std::string(TIEPIC_SHARED_TESTDATA) + "/service/" + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline standin::DataSet Generated(const std::string& size, uint64_t seed = 1,
                                  bool hostile = false) {
  std::string error;
  standin::GeneratorOptions options;
  options.seed = seed;
  options.size = size;
  options.hostile = hostile;
  return standin::GenerateDataSet(options, &error).value();
}

// The query tail every list request of the program carries.
inline const char kStamp[] = "&_=0.123456789012345";

}  // namespace stand_in_test

#endif  // TIEPIC_TESTS_TOOLS_STAND_IN_TEST_SUPPORT_H_
