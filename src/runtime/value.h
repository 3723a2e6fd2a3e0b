// The value model shared by the logic and the commands: texts are GBK byte
// strings, byte arrays are byte vectors, and "a value of any basic kind" is a
// variant over the kinds the commands accept.
//
// The empty text and the missing text are the same thing: an empty string.
#ifndef TIEPIC_RUNTIME_VALUE_H_
#define TIEPIC_RUNTIME_VALUE_H_

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace rt {

// GBK bytes. Lengths and positions count bytes; a byte 0x80 or above starts a
// double-byte character.
using Text = std::string;

using Bytes = std::vector<unsigned char>;

// Days since 1899-12-30, the fraction being the time of day. Always held
// within years 100 to 9999: values outside are clamped to the nearer bound
// (NaN counts as the lower bound).
class DateTime {
 public:
  static constexpr double kMin = -657434.0;
  static constexpr double kMax = 2958465.0;

  constexpr DateTime() = default;
  constexpr explicit DateTime(double days)
      : days_(days >= kMin ? (days <= kMax ? days : kMax) : kMin) {}
  constexpr double days() const { return days_; }
  friend constexpr bool operator==(DateTime, DateTime) = default;

 private:
  double days_ = 0;
};

// A code address, carried as a plain number.
struct SubroutineRef {
  int32_t address = 0;
  friend constexpr bool operator==(SubroutineRef, SubroutineRef) = default;
};

// A value of any basic kind; monostate is an omitted argument.
using Value = std::variant<std::monostate, uint8_t, int16_t, int32_t, int64_t, float, double,
                           bool, DateTime, Text, Bytes, SubroutineRef>;

}  // namespace rt

#endif  // TIEPIC_RUNTIME_VALUE_H_
