// Number, conversion and byte-array commands, and the per-thread random
// generator.
//
// Thread safety: pure functions, except SeedRandom/RandomNumber, which keep
// one generator per thread and one process-wide seeding counter.
#ifndef TIEPIC_RUNTIME_CONVERSION_COMMANDS_H_
#define TIEPIC_RUNTIME_CONVERSION_COMMANDS_H_

#include <initializer_list>
#include <optional>

#include "runtime/value.h"

namespace rt {

// An integer from any basic kind: whole numbers as they are (a long's low 32
// bits), floating point truncated toward zero, a text read as a decimal
// integer after folding full-width characters to half-width; anything else 0.
int32_t ToInteger(const Value& value);

// The largest whole number not above x, after snapping a fraction within
// 1e-12 of a whole number to it.
int32_t IntegerPart(double x);

// x modulo each divisor in turn, with the sign of the dividend. A zero
// divisor is fatal.
double Remainder(double x, std::initializer_list<double> divisors);

int32_t BitOr(std::initializer_list<int32_t> values);

// A text from any basic kind: "%.13g" doubles with a three-digit exponent,
// "真"/"假" for bools, the Chinese date-time form, a byte array up to its
// first zero byte.
Text ToText(const Value& value);
Text ToText(double value);

// The bytes of a value: a text without its NUL, a number's little-endian
// storage, a copy of a byte array.
Bytes ToBytes(const Value& value);
int BytesLength(const Bytes& bytes);
Bytes LeftBytes(const Bytes& bytes, int n);
Bytes BlankBytes(int n);

// Reads one value of `kind` (1 byte, 2 short, 3 int, 4 long, 5 float,
// 6 double, 7 bool, 8 date-time, 9 subroutine reference, 10 text) at the
// 1-based `*position` (1 when null) and moves *position past it, or to -1
// at or past the end. Any other kind is fatal.
Value ReadBytesData(const Bytes& bytes, int kind, int* position = nullptr);

void SeedRandom(std::optional<int32_t> seed = {});
int32_t RandomNumber(std::optional<int32_t> low = {}, std::optional<int32_t> high = {});

}  // namespace rt

#endif  // TIEPIC_RUNTIME_CONVERSION_COMMANDS_H_
