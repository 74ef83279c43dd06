#pragma once

// Numeric routines behind the arithmetic and utility functions that both evaluation providers
// offer to expressions. The providers match the names, check the argument counts and convert
// the value texts; these routines compute on 80-bit extended floats, signed 32-bit integers and
// value texts, without state.
//
// Floating-point errors are raised by explicit checks with the messages of platform/errors.h:
// EInvalidOp "Invalid floating point operation", EZeroDivide "Floating point division by zero",
// EOverflow "Floating point overflow" (a result beyond the extended range).

#include <cstdint>
#include <string>
#include <vector>

// Integer division by zero in EvalRemain and EvalDiv (byte-exact).
inline constexpr const char* kDivisionByZero = "Division by zero";

// X truncated toward zero (lower(-2.7) is -2). EInvalidOp for a magnitude of 2^63 or more.
long double EvalLower(long double x);
// The ceiling of X (upper(-2.5) is -2). EInvalidOp for a magnitude of 2^63 or more.
long double EvalUpper(long double x);
// The absolute value.
long double EvalAbs(long double x);
// The remainder of A by B with the sign of A. EMathError "Division by zero" for B = 0,
// EIntOverflow for -2147483648 by -1.
std::int32_t EvalRemain(std::int32_t a, std::int32_t b);
// The quotient of A by B truncated toward zero; errors as EvalRemain.
std::int32_t EvalDiv(std::int32_t a, std::int32_t b);
// Then when Cond is true, otherwise Else, unchanged.
std::string EvalIf(bool cond, const std::string& then_value, const std::string& else_value);
// The mean of the parameters read as floats (TypeCast to vtFloat); 0 for no parameters.
// EConvertError "Invalid typecast." for a parameter valid for no type.
long double EvalAverage(const std::vector<std::string>& params);
// Base raised to Exponent: 1 for a zero Exponent, repeated squaring for a whole Exponent of
// magnitude at most 2147483647, exp(Exponent * ln Base) otherwise. EZeroDivide for a zero Base
// with a negative Exponent, EInvalidOp for a negative Base with any other Exponent.
long double EvalPower(long double base, long double exponent);
// The square root; EInvalidOp for a negative X.
long double EvalSqrt(long double x);
// e raised to X.
long double EvalExp(long double x);
// Value multiplied Periods times, one multiplication after the other, by Percent / 100 + 1;
// Value itself for Periods of 0 or less. Stops early once the value no longer changes.
long double EvalCPercent(long double value, long double percent, std::int32_t periods);
// Shows Value in normal form as plain text (TypeCast to vtString, unquoted) in the message
// window and returns Value unchanged once the window is closed.
std::string EvalUserMsg(const std::string& value);
