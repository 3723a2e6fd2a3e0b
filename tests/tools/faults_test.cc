// Fault SPECs and how a set of faults decides a request: counts, order,
// gates and the redirect chain.
#include "stand-in/faults.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(StandInFaults, SpecsParseAndPrintBack) {
  // Each valid SPEC with the form PrintFault gives it.
  struct Case {
    const char* spec;
    const char* printed;
  } valid[] = {
      {"album-list:empty*3", "album-list:empty*3"},
      {"picture:status=429", "picture:status=429"},
      {"all:latency=250", "all:latency=250"},
      {"picture:slow=1024/20", "picture:slow=1024/20"},
      {"guide:cut=100*1", "guide:cut=100*1"},
      {"thread:stall", "thread:stall=60000"},
      {"board:security-check*2", "board:security-check*2"},
      {"picture:referer", "picture:referer"},
      {"picture:referer=http://w/", "picture:referer=http://w/"},
      {"picture:cookie=BAIDUID=abc", "picture:cookie=BAIDUID=abc"},
      {"list:redirect", "list:redirect=1"},
      {"list:redirect=loop", "list:redirect=loop"},
      {"picture/a%2Fb%3A:status=404", "picture/a%2Fb%3A:status=404"},
      {"version:empty", "version:empty"},
      {"album-list:verify*2", "album-list:verify*2"},
      {"list:status=500*1@2", "list:status=500*1@2"},
  };
  for (const Case& c : valid) {
    std::string error;
    std::optional<Fault> fault = ParseFault(c.spec, &error);
    ASSERT_TRUE(fault) << c.spec << ": " << error;
    EXPECT_EQ(PrintFault(*fault), c.printed);
  }
  std::string error;
  EXPECT_EQ(ParseFault("picture/a%2Fb%3A:empty", &error)->picture_id, "a/b:");
  for (const char* bad :
       {"picture", "pictures:empty", "unknown:empty", "picture:explode", "picture:status",
        "picture:status=99", "picture:latency=-1", "picture:slow=10", "picture:cut",
        "picture:empty=3", "picture:empty*0", "picture:empty*x", "picture:cookie=novalue",
        "picture:redirect=0", "picture:security-check=1", "board:verify=1",
        "list:empty@0", "list:empty@x"}) {
    EXPECT_FALSE(ParseFault(bad, &error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

TEST(StandInFaults, SetSpendsCountsInOrderAndHonoursGates) {
  FaultSet set;
  auto add = [&set](const char* spec) {
    std::string error;
    return set.Add(*ParseFault(spec, &error));
  };
  FaultRequest picture{Interface::kPicture, "id1", "", "", "http://w/", false};
  FaultRequest guide{Interface::kGuide, "", "", "", "http://w/", false};
  add("picture:empty*2");
  add("picture:status=500*1");
  add("all:latency=5*3");
  add("picture/id2:cut=10");
  // Two empty answers, then the status, then nothing replaces the answer.
  EXPECT_EQ(set.Take(picture).replace->kind, FaultKind::kEmpty);
  EXPECT_EQ(set.Take(picture).replace->kind, FaultKind::kEmpty);
  FaultPlan third = set.Take(picture);
  EXPECT_EQ(third.replace->value, 500);
  EXPECT_EQ(third.latency_ms, 5);
  EXPECT_EQ(third.fired,
            (std::vector<std::string>{"all:latency=5*0", "picture:status=500*0"}));
  FaultPlan fourth = set.Take(guide);
  EXPECT_FALSE(fourth.replace);
  EXPECT_EQ(fourth.latency_ms, 0) << "latency was spent";
  FaultRequest other = picture;
  other.picture_id = "id2";
  EXPECT_EQ(set.Take(other).delivery->kind, FaultKind::kCut);
  EXPECT_FALSE(set.Take(picture).delivery);

  set.Clear();
  int referer = add("picture:referer");
  EXPECT_TRUE(set.Take(picture).replace) << "no Referer";
  FaultRequest good = picture;
  good.referer = "http://w/p/1";
  EXPECT_FALSE(set.Take(good).replace);
  set.Remove(referer);
  add("picture:cookie*1");
  EXPECT_EQ(set.CookiesToSet(), std::vector<std::string>{kDefaultCookie});
  FaultRequest with_cookie = picture;
  with_cookie.cookie = "a=1; BAIDUID=stand-in";
  EXPECT_FALSE(set.Take(with_cookie).replace) << "a passed gate is not spent";
  EXPECT_TRUE(set.Take(picture).replace);
  EXPECT_FALSE(set.Take(picture).replace) << "spent";
  EXPECT_TRUE(set.CookiesToSet().empty());

  add("picture:redirect=2");
  FaultRequest hop = picture;
  hop.redirected = true;
  EXPECT_FALSE(set.Take(hop).replace) << "the chain's last request is answered";
  EXPECT_EQ(set.Take(picture).replace->kind, FaultKind::kRedirect);
  EXPECT_EQ(set.Active().size(), 1u);  // the spent cookie fault is not active

  // A skip lets the requests it hits through first, without spending a firing;
  // requests it does not hit are not counted.
  set.Clear();
  add("picture/id1:status=500*1@2");
  EXPECT_FALSE(set.Take(other).replace);
  EXPECT_FALSE(set.Take(picture).replace);
  EXPECT_FALSE(set.Take(picture).replace);
  EXPECT_EQ(set.Take(picture).replace->value, 500);
  EXPECT_FALSE(set.Take(picture).replace) << "spent";
}

}  // namespace
}  // namespace standin
