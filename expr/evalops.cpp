// The twelve standard operators and the factory of an expression equipped with them.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "expr/evalimpl.h"
#include "expr/evalops.h"
#include "expr/typecvt.h"

namespace eval_operands {

long double Arithmetic(const std::string& text) {
  if (text.empty()) return 0;
  bool valid;
  const long double value = FloatTextValue(text, valid);
  if (valid) return value;
  if (IsStringConstant(text)) {
    try {
      return TextToFloat(ConvertValue(text, vtString, vtFloat));
    } catch (const Exception&) {
    }
  }
  throw EConvertError(kArithmeticTypecast);
}

bool Logic(const std::string& text) {
  std::int32_t integer = 0;
  if (text.empty()) return false;
  if (TryTextToInt(text, integer)) return integer > 0;
  try {
    if (IsStringConstant(text)) return TextToBool(ConvertValue(text, vtString, vtBoolean));
    long double ignored;
    if (TryTextToFloat(text, ignored)) return TextToBool(ConvertValue(text, vtFloat, vtBoolean));
  } catch (const Exception&) {
  }
  throw EConvertError(kLogicTypecast);
}

bool ChoosesTexts(const std::string& left) {
  return left.empty() || IsStringConstant(left);
}

long double CompareLeft(const std::string& left) {
  bool valid;
  const long double a = FloatTextValue(left, valid);
  if (!valid) throw EConvertError(kLogicTypecast);
  return a;
}

long double CompareRight(const std::string& right) {
  if (right.empty()) return 0;
  bool valid;
  const long double b = FloatTextValue(right, valid);
  if (valid) return b;
  if (!IsStringConstant(right)) throw EConvertError(kLogicTypecast);
  try {
    return TextToFloat(ConvertValue(right, vtString, vtFloat));
  } catch (const Exception&) {
    throw EConvertError(kLogicTypecast);
  }
}

}  // namespace eval_operands

namespace {

using eval_operands::Arithmetic;
using eval_operands::Logic;

// The value text of an arithmetic result; the floating-point errors are checked here.
void WriteNumber(long double value, std::string& result) {
  if (std::isnan(value)) throw EInvalidOp();
  if (std::isinf(value)) throw EOverflow();
  FloatToValueText(value, result);
}

// Reads both operands, left first, computes and writes the result.
template <class Operation>
void Compute(const std::string& left, const std::string& right, std::string& result,
             Operation operation) {
  const long double a = Arithmetic(left);
  const long double b = Arithmetic(right);
  WriteNumber(operation(a, b), result);
}

void WriteBool(bool value, std::string& result) {
  result.assign(1, value ? '1' : '0');
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

TPlusOperator::TPlusOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "+", true, true, 3) {}
void TPlusOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                   std::string& Result) {
  Compute(Left, Right, Result, [](long double a, long double b) { return a + b; });
}
void TPlusOperator::EvaluateUnary(const std::string& Value, std::string& Result) {
  EvaluateBinary("0", Value, Result);
}

TMinusOperator::TMinusOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "-", true, true, 3) {}
void TMinusOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                    std::string& Result) {
  Compute(Left, Right, Result, [](long double a, long double b) { return a - b; });
}
void TMinusOperator::EvaluateUnary(const std::string& Value, std::string& Result) {
  EvaluateBinary("0", Value, Result);
}

TMultiplyOperator::TMultiplyOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "*", true, false, 4) {}
void TMultiplyOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                       std::string& Result) {
  Compute(Left, Right, Result, [](long double a, long double b) { return a * b; });
}
// The unary slots of "*" and "/", never called by the parser, answer "0".
void TMultiplyOperator::EvaluateUnary(const std::string&, std::string& Result) {
  WriteBool(false, Result);
}

TDivideOperator::TDivideOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "/", true, false, 4) {}
void TDivideOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                     std::string& Result) {
  Compute(Left, Right, Result, [](long double a, long double b) {
    // Checked here: the floating-point unit's traps are off.
    if (b == 0) {
      if (a == 0) throw EInvalidOp();
      throw EZeroDivide();
    }
    return a / b;
  });
}
void TDivideOperator::EvaluateUnary(const std::string&, std::string& Result) {
  WriteBool(false, Result);
}

// ---------------------------------------------------------------------------------------------
// Logic

TNotOperator::TNotOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "~", false, true, 6) {}
void TNotOperator::EvaluateBinary(const std::string&, const std::string&, std::string&) {}
void TNotOperator::EvaluateUnary(const std::string& Value, std::string& Result) {
  WriteBool(!Logic(Value), Result);
}

TAndOperator::TAndOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "&", true, false, 1) {}
void TAndOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                  std::string& Result) {
  const bool a = Logic(Left);
  const bool b = Logic(Right);
  WriteBool(a && b, Result);
}
void TAndOperator::EvaluateUnary(const std::string&, std::string&) {}

TOrOperator::TOrOperator(TEvalExpression* Expression)
    : TEvalOperator(Expression, "|", true, false, 0) {}
void TOrOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                 std::string& Result) {
  const bool a = Logic(Left);
  const bool b = Logic(Right);
  WriteBool(a || b, Result);
}
void TOrOperator::EvaluateUnary(const std::string&, std::string&) {}

// ---------------------------------------------------------------------------------------------
// Comparisons

TCompareOperator::TCompareOperator(TEvalExpression* Expression, std::string Name)
    : TEvalOperator(Expression, std::move(Name), true, false, 2) {}

void TCompareOperator::EvaluateBinary(const std::string& Left, const std::string& Right,
                                      std::string& Result) {
  // A string constant (or nothing) on the left compares texts: the right content when the
  // right operand is a string constant, otherwise the right text as it stands.
  if (eval_operands::ChoosesTexts(Left)) {
    const std::string a = UnquoteString(Left);
    const bool right_constant = IsStringConstant(Right);
    WriteBool(CompareStrings(a, right_constant ? UnquoteString(Right) : Right), Result);
    return;
  }
  // A number on the left compares numbers.
  const long double a = eval_operands::CompareLeft(Left);
  const long double b = eval_operands::CompareRight(Right);
  WriteBool(CompareNumbers(a, b), Result);
}
void TCompareOperator::EvaluateUnary(const std::string&, std::string&) {}

TMoreOperator::TMoreOperator(TEvalExpression* Expression) : TCompareOperator(Expression, ">") {}
bool TMoreOperator::CompareStrings(const std::string& A, const std::string& B) {
  return A > B;
}
bool TMoreOperator::CompareNumbers(long double A, long double B) {
  return A > B;
}

TLessOperator::TLessOperator(TEvalExpression* Expression) : TCompareOperator(Expression, "<") {}
bool TLessOperator::CompareStrings(const std::string& A, const std::string& B) {
  return A < B;
}
bool TLessOperator::CompareNumbers(long double A, long double B) {
  return A < B;
}

TEqualOperator::TEqualOperator(TEvalExpression* Expression) : TCompareOperator(Expression, "=") {}
bool TEqualOperator::CompareStrings(const std::string& A, const std::string& B) {
  return A == B;
}
bool TEqualOperator::CompareNumbers(long double A, long double B) {
  return A == B;
}

TMoreOrEqualOperator::TMoreOrEqualOperator(TEvalExpression* Expression)
    : TCompareOperator(Expression, ">=") {}
bool TMoreOrEqualOperator::CompareStrings(const std::string& A, const std::string& B) {
  return A >= B;
}
bool TMoreOrEqualOperator::CompareNumbers(long double A, long double B) {
  return A >= B;
}

TLessOrEqualOperator::TLessOrEqualOperator(TEvalExpression* Expression)
    : TCompareOperator(Expression, "<=") {}
bool TLessOrEqualOperator::CompareStrings(const std::string& A, const std::string& B) {
  return A <= B;
}
bool TLessOrEqualOperator::CompareNumbers(long double A, long double B) {
  return A <= B;
}

std::unique_ptr<TEvalExpression> CreateStandardExpression() {
  auto expression = std::make_unique<TEvalExpression>();
  TEvalExpression* e = expression.get();
  expression->AddOperator(std::make_unique<TPlusOperator>(e));
  expression->AddOperator(std::make_unique<TMinusOperator>(e));
  expression->AddOperator(std::make_unique<TMultiplyOperator>(e));
  expression->AddOperator(std::make_unique<TDivideOperator>(e));
  expression->AddOperator(std::make_unique<TNotOperator>(e));
  expression->AddOperator(std::make_unique<TAndOperator>(e));
  expression->AddOperator(std::make_unique<TOrOperator>(e));
  expression->AddOperator(std::make_unique<TMoreOperator>(e));
  expression->AddOperator(std::make_unique<TLessOperator>(e));
  expression->AddOperator(std::make_unique<TEqualOperator>(e));
  expression->AddOperator(std::make_unique<TMoreOrEqualOperator>(e));
  expression->AddOperator(std::make_unique<TLessOrEqualOperator>(e));
  return expression;
}
