// Chinese texts of the system in readable source form. A UTF-8 string literal
// with the suffix _gbk becomes a reference to its GBK bytes, converted once
// per literal on first use:
//
//   AppendLog("请输入网址"_gbk);
//
// ToUtf8 and FromUtf8 are the only other ways between the two encodings.
#ifndef TIEPIC_RUNTIME_GBK_H_
#define TIEPIC_RUNTIME_GBK_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace rt {

using platform::FromUtf8;
using platform::ToUtf8;

// A string literal carried as a template argument, so that each distinct
// literal gets its own converted copy.
template <size_t N>
struct LiteralText {
  constexpr LiteralText(const char (&s)[N]) { std::copy_n(s, N, chars); }
  char chars[N];
};

template <LiteralText kUtf8>
const std::string& operator""_gbk() {
  static const std::string gbk = FromUtf8(std::string_view(kUtf8.chars, sizeof kUtf8.chars - 1));
  return gbk;
}

}  // namespace rt

#endif  // TIEPIC_RUNTIME_GBK_H_
