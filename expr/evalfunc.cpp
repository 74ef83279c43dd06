#include "expr/evalfunc.h"

#include <cmath>
#include <limits>

#include "platform/errors.h"
#include "expr/typecvt.h"
#include "platform/messages.h"

namespace {

constexpr long double kTwoTo63 = 9223372036854775808.0L;

// Raises the error the floating-point unit would raise for a result.
long double Checked(long double result) {
  if (std::isnan(result)) throw EInvalidOp();
  if (std::isinf(result)) throw EOverflow();
  return result;
}

void CheckIntegerDivision(std::int32_t a, std::int32_t b) {
  if (b == 0) throw EMathError(kDivisionByZero);
  if (b == -1 && a == std::numeric_limits<std::int32_t>::min()) throw EIntOverflow();
}

// Base raised to a whole exponent by repeated squaring; the base is not squared after the
// last bit, so an overflow here means the result itself overflows.
long double IntegerPower(long double base, std::uint32_t exponent) {
  long double result = 1.0L;
  while (true) {
    if (exponent & 1u) result *= base;
    exponent >>= 1;
    if (exponent == 0) break;
    base *= base;
  }
  return result;
}

}  // namespace

long double EvalLower(long double x) {
  if (!(std::fabs(x) < kTwoTo63)) throw EInvalidOp();
  return std::trunc(x);
}

long double EvalUpper(long double x) {
  long double lower = EvalLower(x);
  return x - lower > 0 ? lower + 1 : lower;
}

long double EvalAbs(long double x) {
  return Checked(std::fabs(x));
}

std::int32_t EvalRemain(std::int32_t a, std::int32_t b) {
  CheckIntegerDivision(a, b);
  return a % b;
}

std::int32_t EvalDiv(std::int32_t a, std::int32_t b) {
  CheckIntegerDivision(a, b);
  return a / b;
}

std::string EvalIf(bool cond, const std::string& then_value, const std::string& else_value) {
  return cond ? then_value : else_value;
}

long double EvalAverage(const std::vector<std::string>& params) {
  if (params.empty()) return 0.0L;
  long double sum = 0.0L;
  for (const std::string& param : params) {
    sum = Checked(sum + TextToFloat(TypeCast(param, vtFloat)));
  }
  return sum / static_cast<long double>(params.size());
}

long double EvalPower(long double base, long double exponent) {
  if (std::isnan(base) || std::isnan(exponent)) throw EInvalidOp();
  if (exponent == 0) return 1.0L;
  if (base == 0) {
    if (exponent > 0) return 0.0L;
    throw EZeroDivide();
  }
  if (std::trunc(exponent) == exponent && std::fabs(exponent) <= 2147483647.0L) {
    long double magnitude = std::fabs(exponent);
    long double result = Checked(IntegerPower(base, static_cast<std::uint32_t>(magnitude)));
    if (exponent > 0) return result;
    if (result == 0) throw EOverflow();  // the power underflowed: its reciprocal is too large
    return Checked(1.0L / result);
  }
  if (base < 0) throw EInvalidOp();
  return Checked(std::exp(exponent * std::log(base)));
}

long double EvalSqrt(long double x) {
  if (x < 0 || std::isnan(x)) throw EInvalidOp();
  return Checked(std::sqrt(x));
}

long double EvalExp(long double x) {
  return Checked(std::exp(x));
}

long double EvalCPercent(long double value, long double percent, std::int32_t periods) {
  const long double factor = Checked(percent / 100 + 1);
  if (periods <= 0) return value;
  if (factor == -1.0L) return periods % 2 ? -value : value;  // flips sign forever otherwise
  long double result = value;
  for (std::int32_t period = 0; period < periods; ++period) {
    const long double next = Checked(result * factor);
    if (next == result) break;  // every further multiplication gives the same value
    result = next;
  }
  return result;
}

std::string EvalUserMsg(const std::string& value) {
  ShowMessage(UnquoteString(TypeCast(value, vtString)));
  return value;
}
