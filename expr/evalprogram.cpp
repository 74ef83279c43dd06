// The postfix evaluation order of a parsed tree and its two runs.

#include <algorithm>
#include <cmath>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "expr/evalimpl.h"
#include "expr/evalops.h"
#include "expr/typecvt.h"
#include "platform/errors.h"

// ---------------------------------------------------------------------------------------------
// TEvalProgram

namespace {

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// The texts of the truth values that the logic operators and comparisons answer.
const std::string kTrueText = "1";
const std::string kFalseText = "0";

// Equal texts; short ones, the usual variable values, compared in place.
bool SameText(const std::string& a, const std::string& b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n > 16) return a == b;
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// The standard operator class of Op exactly (a descendant may change what it computes).
template <class T>
bool IsClass(const TEvalOperator& op) {
  return typeid(op) == typeid(T);
}

}  // namespace

TEvalProgram::TEvalProgram(const TEvalToken& Root, const TEvalExpression& Expression) {
  Build(Root, Expression);
}

void TEvalProgram::Build(const TEvalToken& Root, const TEvalExpression& Expression) {
  Steps.clear();
  VariableCount = 0;
  std::vector<Pending>& pending = Work;
  pending.clear();
  pending.emplace_back(&Root, nullptr, false);
  std::size_t depth = 0, max_depth = 0;
  auto push_value = [&] { max_depth = std::max(max_depth, ++depth); };
  auto add = [this](StepKind kind, const TEvalToken& token, TEvalOperator* op = nullptr,
                    const char* message = nullptr, int count = 0) -> Step& {
    Step& step = Steps.emplace_back();
    step.Standard = opOther;
    step.HasNumber = false;
    step.Number = 0;
    step.Kind = kind;
    step.Token = &token;
    step.Operator = op;
    step.Message = message;
    step.ArgCount = count;
    return step;
  };
  while (!pending.empty()) {
    // Field by field: a copy of the whole entry just written would wait for the write.
    const TEvalToken& token = *pending.back().Token;
    TEvalOperator* const item_operator = pending.back().Operator;
    const bool expanded = pending.back().Expanded;
    pending.pop_back();
    if (expanded) {
      if (token.Kind == tkFunction) {
        const int count = token.ChildCount();
        add(skCall, token, nullptr, nullptr, count);
        depth -= static_cast<std::size_t>(count);
        push_value();
      } else {
        const bool binary = token.ChildCount() == 2;
        Step& step = add(binary ? skBinary : skUnary, token, item_operator);
        step.Standard = StandardOf(*item_operator, binary);
        if (binary) --depth;
      }
      continue;
    }
    switch (token.Kind) {
      case tkConstant:
      case tkUnparsed: {
        Step& step = add(skConstant, token);
        // A number constant is read once; any other constant is read where it is used.
        if (!token.Text.empty()) step.Number = FloatTextValue(token.Text, step.HasNumber);
        push_value();
        break;
      }
      case tkVariable: {
        Step& step = add(skVariable, token);
        step.LastText = VariableCount++;
        if (LastTexts.size() < VariableCount) LastTexts.resize(VariableCount);
        LastTexts[step.LastText].clear();
        push_value();
        break;
      }
      case tkFunction:
        add(skEnter, token);
        pending.emplace_back(&token, nullptr, true);
        for (int i = token.ChildCount() - 1; i >= 0; --i)
          pending.emplace_back(token.Children(i), nullptr, false);
        break;
      case tkOperator: {
        // The operator is checked before its operands are evaluated; a failing check stands in
        // for the whole subtree.
        TEvalOperator* op = Expression.FindOperator(token.Text);
        const int count = token.ChildCount();
        if (!op || !((count == 2 && op->Binary) || (count == 1 && op->Unary))) {
          add(skFail, token, nullptr, op ? kInvalidOperatorCall : kUndefinedOperator);
          push_value();
          break;
        }
        pending.emplace_back(&token, op, true);
        for (int i = 0; i < count; ++i) pending.emplace_back(token.Children(i), nullptr, false);
        break;
      }
    }
  }
  Values.resize(max_depth + 2);  // one per stack position and the spare result
  Slots.resize(max_depth + 1);
  Operands.resize(max_depth + 1);
  Stack.resize(max_depth + 1);
}

TEvalProgram::Op TEvalProgram::StandardOf(const TEvalOperator& Operator, bool Binary) {
  // By the name first, so that the class is compared once.
  const std::string& name = Operator.Name;
  if (name.empty() || name.size() > 2) return opOther;
  if (Binary) {
    switch (name[0]) {
      case '+':
        return name.size() == 1 && IsClass<TPlusOperator>(Operator) ? opAdd : opOther;
      case '-':
        return name.size() == 1 && IsClass<TMinusOperator>(Operator) ? opSubtract : opOther;
      case '*':
        return name.size() == 1 && IsClass<TMultiplyOperator>(Operator) ? opMultiply : opOther;
      case '/':
        return name.size() == 1 && IsClass<TDivideOperator>(Operator) ? opDivide : opOther;
      case '&':
        return name.size() == 1 && IsClass<TAndOperator>(Operator) ? opAnd : opOther;
      case '|':
        return name.size() == 1 && IsClass<TOrOperator>(Operator) ? opOr : opOther;
      case '=':
        return name.size() == 1 && IsClass<TEqualOperator>(Operator) ? opEqual : opOther;
      case '>':
        if (name.size() == 1) return IsClass<TMoreOperator>(Operator) ? opMore : opOther;
        return name[1] == '=' && IsClass<TMoreOrEqualOperator>(Operator) ? opMoreOrEqual : opOther;
      case '<':
        if (name.size() == 1) return IsClass<TLessOperator>(Operator) ? opLess : opOther;
        return name[1] == '=' && IsClass<TLessOrEqualOperator>(Operator) ? opLessOrEqual : opOther;
    }
    return opOther;
  }
  // The unary forms: "+X" and "-X" are "0" + X and "0" - X, "~X" the negation.
  if (IsClass<TPlusOperator>(Operator)) return opAdd;
  if (IsClass<TMinusOperator>(Operator)) return opSubtract;
  if (IsClass<TNotOperator>(Operator)) return opNot;
  return opOther;
}

void TEvalProgram::Raise(TEvalExpression& Expression, const std::string& Message,
                         std::int32_t Position) {
  Expression.ErrorMessage = Message;
  Expression.ErrorPosition = Position;
  throw Exception(PositionedMessage(Message, Position));
}

void TEvalProgram::Push(std::size_t Index, const std::string* Text, bool HasNumber,
                        long double Number) {
  Value& value = Stack[Index];
  value.Text = Text;
  value.State = HasNumber ? vsNumber : vsText;
  if (HasNumber) value.Number = Number;
}

const std::string& TEvalProgram::TextOf(std::size_t Index) {
  Value& value = Stack[Index];
  if (!value.Text) {
    // The range checks of the writer passed where the number was made.
    FloatToValueText(value.Number, *Slots[Index]);
    value.Text = Slots[Index];
  }
  return *value.Text;
}

long double TEvalProgram::Carried(std::size_t Index) {
  Value& value = Stack[Index];
  if (value.State == vsNumber) return value.Number;
  if (value.State == vsResult) {
    value.Read = ValueTextRoundTrip(value.Number);
    value.State = vsResultRead;
  }
  return value.Read;
}

long double TEvalProgram::NumberOf(std::size_t Index) {
  const Value& value = Stack[Index];
  return value.State != vsText ? Carried(Index) : eval_operands::Arithmetic(*value.Text);
}

bool TEvalProgram::TruthOf(std::size_t Index) {
  const Value& value = Stack[Index];
  if (value.Text == &kTrueText) return true;
  if (value.Text == &kFalseText) return false;
  return eval_operands::Logic(TextOf(Index));
}

void TEvalProgram::SetTruth(std::size_t Index, bool Truth) {
  Value& value = Stack[Index];
  value.Text = Truth ? &kTrueText : &kFalseText;
  value.State = vsNumber;
  value.Number = Truth ? 1.0L : 0.0L;
}

void TEvalProgram::ApplyArithmetic(Op Standard, long double Left, std::size_t Right,
                                   std::size_t Result) {
  const long double b = NumberOf(Right);
  long double r = 0;
  switch (Standard) {
    case opAdd:
      r = Left + b;
      break;
    case opSubtract:
      r = Left - b;
      break;
    case opMultiply:
      r = Left * b;
      break;
    default:
      if (b == 0) {
        if (Left == 0) throw EInvalidOp();
        throw EZeroDivide();
      }
      r = Left / b;
      break;
  }
  // The errors of writing the result are raised here, where the text path writes it.
  if (std::isnan(r)) throw EInvalidOp();
  if (std::isinf(r) || std::isinf(static_cast<double>(r))) throw EOverflow();
  Value& value = Stack[Result];
  value.Text = nullptr;
  value.State = vsResult;
  value.Number = r;
}

template <typename T>
bool TEvalProgram::Compared(Op Standard, const T& a, const T& b) {
  switch (Standard) {
    case opMore:
      return a > b;
    case opLess:
      return a < b;
    case opEqual:
      return a == b;
    case opMoreOrEqual:
      return a >= b;
    default:
      return a <= b;
  }
}

void TEvalProgram::ApplyComparison(Op Standard, std::size_t Left, std::size_t Right,
                                   std::size_t Result) {
  const Value& left = Stack[Left];
  bool truth;
  if (left.State == vsText && eval_operands::ChoosesTexts(*left.Text)) {
    // Texts: the left content against the right content or the right text as it stands.
    const std::string a = UnquoteString(*left.Text);
    const std::string& right = TextOf(Right);
    const std::string unquoted = IsStringConstant(right) ? UnquoteString(right) : std::string();
    const std::string& b = IsStringConstant(right) ? unquoted : right;
    truth = Compared(Standard, a, b);
  } else {
    const long double a =
        left.State != vsText ? Carried(Left) : eval_operands::CompareLeft(*left.Text);
    const long double b = Stack[Right].State != vsText
                              ? Carried(Right)
                              : eval_operands::CompareRight(*Stack[Right].Text);
    truth = Compared(Standard, a, b);
  }
  SetTruth(Result, truth);
}

std::string TEvalProgram::Run(TEvalExpression& Expression) {
  for (std::size_t i = 0; i < Slots.size(); ++i) Slots[i] = &Values[i];
  std::string* spare = &Values.back();
  std::size_t top = 0;
  int open_calls = 0;
  try {
    for (Step& step : Steps) {
      const TEvalToken& token = *step.Token;
      switch (step.Kind) {
        case skConstant:
          // Read in place: the tree outlives the run.
          Push(top++, &token.Text, step.HasNumber, step.Number);
          break;
        case skVariable: {
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          std::string& value = *Slots[top];
          value.clear();
          if (!provider->ReadVariable(token.Text, value))
            Raise(Expression, kInvalidVariableNamePrefix + Quoted(token.Text), token.Position);
          // A float text is read as a number at once (reading never fails); the same text as
          // the last time has the same number.
          std::string& last = LastTexts[step.LastText];
          if (!SameText(value, last)) {
            last = value;
            step.HasNumber = false;
            if (!value.empty()) step.Number = FloatTextValue(value, step.HasNumber);
          }
          Push(top++, &value, step.HasNumber, step.Number);
          break;
        }
        case skEnter: {
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          if (!provider->IsFunction(token.Text))
            Raise(Expression, kInvalidFunctionNamePrefix + Quoted(token.Text), token.Position);
          ++open_calls;
          break;
        }
        case skCall: {
          const std::size_t count = static_cast<std::size_t>(step.ArgCount);
          std::vector<std::string> params;
          params.reserve(count);
          for (std::size_t i = top - count; i < top; ++i) {
            const std::string& text = TextOf(i);
            if (&text == Slots[i]) {
              params.push_back(std::move(*Slots[i]));
            } else {
              params.push_back(text);
            }
          }
          top -= count;
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          std::string& value = *Slots[top];
          value.clear();
          provider->CallFunction(token.Text, params, value);
          Push(top++, &value);
          --open_calls;
          break;
        }
        case skBinary: {
          // The left operand stands above the right one, which was evaluated first.
          const std::size_t left = top - 1, right = top - 2;
          switch (step.Standard) {
            case opAdd:
            case opSubtract:
            case opMultiply:
            case opDivide:
              ApplyArithmetic(step.Standard, NumberOf(left), right, right);
              break;
            case opAnd:
            case opOr: {
              const bool a = TruthOf(left);
              const bool b = TruthOf(right);
              SetTruth(right, step.Standard == opAnd ? a && b : a || b);
              break;
            }
            case opMore:
            case opLess:
            case opEqual:
            case opMoreOrEqual:
            case opLessOrEqual:
              ApplyComparison(step.Standard, left, right, right);
              break;
            default: {
              // Any other operator gets texts; its result goes to the spare string, which then
              // takes the slot's place.
              const std::string& a = TextOf(left);
              const std::string& b = TextOf(right);
              spare->clear();
              step.Operator->EvaluateBinary(a, b, *spare);
              std::swap(Slots[right], spare);
              Push(right, Slots[right]);
              break;
            }
          }
          --top;
          break;
        }
        case skUnary: {
          const std::size_t operand = top - 1;
          switch (step.Standard) {
            case opAdd:
            case opSubtract:
              ApplyArithmetic(step.Standard, 0, operand, operand);
              break;
            case opNot:
              SetTruth(operand, !TruthOf(operand));
              break;
            default: {
              const std::string& a = TextOf(operand);
              spare->clear();
              step.Operator->EvaluateUnary(a, *spare);
              std::swap(Slots[operand], spare);
              Push(operand, Slots[operand]);
              break;
            }
          }
          break;
        }
        case skFail:
          Raise(Expression, step.Message + Quoted(token.Text), token.Position);
      }
    }
  } catch (const Exception& e) {
    // Inside a call's arguments or the call itself the error passes on as a plain one.
    if (open_calls > 0) throw Exception(e.GetMessage());
    throw;
  }
  const Value& result = Stack[0];
  if (!result.Text) return FloatToValueText(result.Number);
  if (result.Text == Slots[0]) return std::move(*Slots[0]);
  return *result.Text;
}

std::string TEvalProgram::RunTexts(TEvalExpression& Expression) {
  for (std::size_t i = 0; i < Slots.size(); ++i) Slots[i] = &Values[i];
  std::string* spare = &Values.back();
  std::size_t top = 0;
  int open_calls = 0;
  try {
    for (const Step& step : Steps) {
      const TEvalToken& token = *step.Token;
      switch (step.Kind) {
        case skConstant:
          Operands[top++] = &token.Text;  // read in place: the tree outlives the run
          break;
        case skVariable: {
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          if (!provider->IsVariable(token.Text))
            Raise(Expression, kInvalidVariableNamePrefix + Quoted(token.Text), token.Position);
          std::string& value = *Slots[top];
          value.clear();
          provider->GetVariable(token.Text, value);
          Operands[top++] = &value;
          break;
        }
        case skEnter: {
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          if (!provider->IsFunction(token.Text))
            Raise(Expression, kInvalidFunctionNamePrefix + Quoted(token.Text), token.Position);
          ++open_calls;
          break;
        }
        case skCall: {
          const std::size_t count = static_cast<std::size_t>(step.ArgCount);
          std::vector<std::string> params;
          params.reserve(count);
          for (std::size_t i = top - count; i < top; ++i) {
            if (Operands[i] == Slots[i]) {
              params.push_back(std::move(*Slots[i]));
            } else {
              params.push_back(*Operands[i]);
            }
          }
          top -= count;
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          std::string& value = *Slots[top];
          value.clear();
          provider->CallFunction(token.Text, params, value);
          Operands[top++] = &value;
          --open_calls;
          break;
        }
        case skBinary:
          // The result goes to the spare string, which then takes the slot's place.
          spare->clear();
          step.Operator->EvaluateBinary(*Operands[top - 1], *Operands[top - 2], *spare);
          std::swap(Slots[top - 2], spare);
          Operands[top - 2] = Slots[top - 2];
          --top;
          break;
        case skUnary:
          spare->clear();
          step.Operator->EvaluateUnary(*Operands[top - 1], *spare);
          std::swap(Slots[top - 1], spare);
          Operands[top - 1] = Slots[top - 1];
          break;
        case skFail:
          Raise(Expression, step.Message + Quoted(token.Text), token.Position);
      }
    }
  } catch (const Exception& e) {
    // Inside a call's arguments or the call itself the error passes on as a plain one.
    if (open_calls > 0) throw Exception(e.GetMessage());
    throw;
  }
  if (Operands[0] != nullptr && Operands[0] != Slots[0]) return *Operands[0];
  return std::move(*Slots[0]);
}
