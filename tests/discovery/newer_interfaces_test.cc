// The readings and the sign of the interfaces the service answers by today:
// a board's name as addresses write it (GBK or UTF-8, which bytes alone do
// not tell), and the client's signed form.
#include "discovery/newer_interfaces.h"

#include <gtest/gtest.h>

#include "runtime/gbk.h"
#include "web/form_fields.h"

namespace discovery {
namespace {

TEST(BoardName, IsReadAsTheAddressWritesIt) {
  const struct {
    const char* address;
    const char* name;  // UTF-8
  } cases[] = {
      {"tieba.baidu.com/f?kw=%D6%BD%B7%C9%BB%FA", "纸飞机"},             // GBK, as older pages write it
      {"tieba.baidu.com/f?kw=%D1%A7%CF%B0", "学习"},                     // GBK that is valid UTF-8 too
      {"tieba.baidu.com/f?kw=%E5%AD%A6%E4%B9%A0&ie=utf-8", "学习"},     // UTF-8, and says so
      {"http://tieba.baidu.com/f?ie=UTF-8&kw=%E7%BA%B8%E9%A3%9E%E6%9C%BA", "纸飞机"},
      {"tieba.baidu.com/f?kw=%E7%BA%B8%E9%A3%9E%E6%9C%BA", "纸飞机"},    // UTF-8 as a browser copies it
      {"tieba.baidu.com/f?kw=abc+d&fr=home", "abc d"},
      {"tieba.baidu.com/f?fr=home", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::ToUtf8(BoardNameOf(c.address)), c.name) << c.address;
  }
  // A name goes out as UTF-8 and reads back the same.
  const rt::Text name = rt::FromUtf8("学习");
  EXPECT_EQ(BoardNameOf(BoardAddressOf("tieba.baidu.com", name)), name);
}

// The sign: the fields sorted by name, "name=value" joined without
// separator, the key, MD5 in upper case (the value computed apart from
// this code); the body carries the fields percent-encoded and the sign.
TEST(PicpageSign, IsTheMd5OfTheSortedFieldsAndTheKey) {
  const web::FormFields fields = {
      {"tid", "1"}, {"kw", "纸飞机"}, {"pic_id", ""}, {"_client_type", "2"}};
  EXPECT_EQ(web::FormSign(fields, "tiebaclient!!!"), "CB9F4862F35BFEF0478B196B572526B0");
  EXPECT_EQ(web::SignedFormBody(fields, "tiebaclient!!!"),
            "tid=1&kw=%E7%BA%B8%E9%A3%9E%E6%9C%BA&pic_id=&_client_type=2"
            "&sign=CB9F4862F35BFEF0478B196B572526B0");
}

}  // namespace
}  // namespace discovery
