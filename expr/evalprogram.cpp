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

// The least magnitude that rounds to infinity as a double: halfway between the largest double
// and 2^1024, where the tie goes to the even 2^1024.
constexpr long double kDoubleOverflow = 0x1.fffffffffffff8p1023L;

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

const std::string& TEvalProgram::TextOf(std::size_t Index) {
  Value& value = Stack[Index];
  if (!value.Text) {
    // The range checks of the writer passed where the number was made.
    FloatToValueText(value.Result, *Slots[Index]);
    value.Text = Slots[Index];
  }
  return *value.Text;
}

long double TEvalProgram::NumberOf(std::size_t Index) {
  const long double* number = Stack[Index].Number;
  return number ? *number : NumberOfOther(Index);
}

long double TEvalProgram::NumberOfOther(std::size_t Index) {
  Value& value = Stack[Index];
  if (value.Text) return eval_operands::Arithmetic(*value.Text);
  // Store found that the result is no short decimal.
  value.Read = value_text::RoundTripOther(value.Result);
  value.Number = &value.Read;
  return value.Read;
}

long double TEvalProgram::CompareOperand(std::size_t Index, bool Left) {
  const Value& value = Stack[Index];
  if (value.Number) return *value.Number;
  if (!value.Text) return NumberOfOther(Index);
  return Left ? eval_operands::CompareLeft(*value.Text) : eval_operands::CompareRight(*value.Text);
}

bool TEvalProgram::TruthOf(std::size_t Index) {
  const Value& value = Stack[Index];
  if (value.Text == &kTrueText) return true;
  if (value.Text == &kFalseText) return false;
  return eval_operands::Logic(TextOf(Index));
}

void TEvalProgram::SetTruth(std::size_t Index, bool Truth) {
  static const long double kOne = 1.0L, kZero = 0.0L;
  Value& value = Stack[Index];
  value.Text = Truth ? &kTrueText : &kFalseText;
  value.Number = Truth ? &kOne : &kZero;
}

// A standard arithmetic operation on two numbers, with the errors that writing its result
// raises (raised here, where the text path writes it): a value that the double range cannot
// hold, one that rounds to a double infinity, overflows.
[[gnu::always_inline]] inline long double TEvalProgram::Computed(Op Standard, long double Left,
                                                                 long double Right) {
  long double r;
  switch (Standard) {
    case opAdd:
      r = Left + Right;
      break;
    case opSubtract:
      r = Left - Right;
      break;
    case opMultiply:
      r = Left * Right;
      break;
    default:
      if (Right == 0) {
        if (Left == 0) throw EInvalidOp();
        throw EZeroDivide();
      }
      r = Left / Right;
      break;
  }
  if (!(std::fabs(r) < kDoubleOverflow)) {
    if (std::isnan(r)) throw EInvalidOp();
    throw EOverflow();
  }
  return r;
}

[[gnu::always_inline]] inline void TEvalProgram::Store(long double Number, std::size_t Index,
                                                       bool Last) {
  Value& value = Stack[Index];
  if (Last) {
    // The final value is written while the number is at hand.
    FloatToValueText(Number, *Slots[Index]);
    value.Text = Slots[Index];
    value.Number = nullptr;
    return;
  }
  value.Text = nullptr;
  value.Result = Number;
  // A short decimal's round trip costs little, and the next operator usually needs it; any
  // other is found when an operator asks.
  value.Number = value_text::ShortRoundTrip(Number, value.Read) ? &value.Read : nullptr;
}

void TEvalProgram::ApplyArithmeticOther(Op Standard, std::size_t Left, std::size_t Right,
                                        bool Last) {
  const long double a = Left == kNoOperand ? 0 : NumberOf(Left);
  const long double b = NumberOf(Right);
  Store(Computed(Standard, a, b), Right, Last);
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
  if (!left.Number && left.Text && eval_operands::ChoosesTexts(*left.Text)) {
    // Texts: the left content against the right content or the right text as it stands.
    const std::string a = UnquoteString(*left.Text);
    const std::string& right = TextOf(Right);
    const std::string unquoted = IsStringConstant(right) ? UnquoteString(right) : std::string();
    const std::string& b = IsStringConstant(right) ? unquoted : right;
    truth = Compared(Standard, a, b);
  } else {
    const long double a = CompareOperand(Left, true);
    const long double b = CompareOperand(Right, false);
    truth = Compared(Standard, a, b);
  }
  SetTruth(Result, truth);
}

void TEvalProgram::RaiseNamed(TEvalExpression& Expression, const Step& Step) {
  const char* message = Step.Kind == skVariable ? kInvalidVariableNamePrefix
                        : Step.Kind == skEnter  ? kInvalidFunctionNamePrefix
                                                : Step.Message;
  Raise(Expression, message + Quoted(Step.Token->Text), Step.Token->Position);
}

std::size_t TEvalProgram::Call(TEvalExpression& Expression, const Step& Step, std::size_t Top) {
  const TEvalToken& token = *Step.Token;
  const std::size_t count = static_cast<std::size_t>(Step.ArgCount);
  std::vector<std::string> params;
  params.reserve(count);
  for (std::size_t i = Top - count; i < Top; ++i) {
    const std::string& text = TextOf(i);
    if (&text == Slots[i]) {
      params.push_back(std::move(*Slots[i]));
    } else {
      params.push_back(text);
    }
  }
  Top -= count;
  TEvalProvider* provider = Expression.Provider;
  if (!provider) Raise(Expression, kNoProvider, token.Position);
  std::string& text = *Slots[Top];
  text.clear();
  provider->CallFunction(token.Text, params, text);
  Value& value = Stack[Top++];
  value.Text = &text;
  value.Number = nullptr;
  return Top;
}

std::size_t TEvalProgram::ApplyOther(const Step& Step, std::size_t Top, std::string*& Spare) {
  // Any other operator gets texts; its result goes to the spare string, which then takes the
  // slot's place.
  const std::size_t result = Step.Kind == skBinary ? Top - 2 : Top - 1;
  Spare->clear();
  if (Step.Kind == skBinary) {
    const std::string& a = TextOf(Top - 1);
    const std::string& b = TextOf(result);
    Step.Operator->EvaluateBinary(a, b, *Spare);
  } else {
    Step.Operator->EvaluateUnary(TextOf(result), *Spare);
  }
  std::swap(Slots[result], Spare);
  Stack[result].Text = Slots[result];
  Stack[result].Number = nullptr;
  return result + 1;
}

namespace {

// One dispatch code for a step's kind and the standard operator it applies.
constexpr unsigned Dispatch(unsigned kind, unsigned standard) {
  return kind * 16 + standard;
}

}  // namespace

std::string TEvalProgram::Run(TEvalExpression& Expression) {
  static_assert(opLessOrEqual < 16, "a dispatch code holds the operator in four bits");
  for (std::size_t i = 0; i < Slots.size(); ++i) Slots[i] = &Values[i];
  std::string* spare = &Values.back();
  Value* const stack = Stack.data();
  std::size_t top = 0;
  int open_calls = 0;
  const std::size_t step_count = Steps.size();
  try {
    for (std::size_t at = 0; at < step_count; ++at) {
      Step& step = Steps[at];
      switch (Dispatch(step.Kind, step.Standard)) {
        case Dispatch(skConstant, opOther): {
          // Read in place: the tree outlives the run.
          Value& value = stack[top++];
          value.Text = &step.Token->Text;
          value.Number = step.HasNumber ? &step.Number : nullptr;
          break;
        }
        case Dispatch(skVariable, opOther): {
          const TEvalToken& token = *step.Token;
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          std::string& text = *Slots[top];
          text.clear();
          if (!provider->ReadVariable(token.Text, text)) RaiseNamed(Expression, step);
          // A float text is read as a number at once (reading never fails); the same text as
          // the last time has the same number.
          std::string& last_text = LastTexts[step.LastText];
          if (!SameText(text, last_text)) {
            last_text = text;
            step.HasNumber = false;
            if (!text.empty()) step.Number = FloatTextValue(text, step.HasNumber);
          }
          Value& value = stack[top++];
          value.Text = &text;
          value.Number = step.HasNumber ? &step.Number : nullptr;
          break;
        }
        case Dispatch(skEnter, opOther): {
          const TEvalToken& token = *step.Token;
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, token.Position);
          if (!provider->IsFunction(token.Text)) RaiseNamed(Expression, step);
          ++open_calls;
          break;
        }
        case Dispatch(skCall, opOther):
          top = Call(Expression, step, top);
          --open_calls;
          break;
        // The left operand of a binary step stands above the right one, which was evaluated
        // first; the result takes the right one's place.
        case Dispatch(skBinary, opAdd):
        case Dispatch(skBinary, opSubtract):
        case Dispatch(skBinary, opMultiply):
        case Dispatch(skBinary, opDivide): {
          // Both numbers at hand: computed in the registers; otherwise a text is read.
          const long double* a = stack[top - 1].Number;
          const long double* b = stack[top - 2].Number;
          if (!a || !b) {
            ApplyArithmeticOther(step.Standard, top - 1, top - 2, at + 1 == step_count);
            --top;
            break;
          }
          // A chain of standard arithmetic in which each result is the left operand of the
          // next step stays in the registers: the round trip of the result is the next left
          // operand, the next right one stands below it.
          long double x = *a, y = *b;
          for (;;) {
            const long double r = Computed(Steps[at].Standard, x, y);
            --top;
            if (at + 1 == step_count) {
              Store(r, top - 1, true);
              break;
            }
            const Step& next = Steps[at + 1];
            const long double* below = nullptr;
            if (next.Kind == skBinary && next.Standard >= opAdd && next.Standard <= opDivide)
              below = stack[top - 2].Number;
            if (!below) {
              Store(r, top - 1, false);
              break;
            }
            // Computed raised for every value that has no text.
            x = ValueTextRoundTrip(r);
            y = *below;
            ++at;
          }
          break;
        }
        case Dispatch(skBinary, opAnd):
        case Dispatch(skBinary, opOr): {
          const bool a = TruthOf(top - 1);
          const bool b = TruthOf(top - 2);
          SetTruth(top - 2, step.Standard == opAnd ? a && b : a || b);
          --top;
          break;
        }
        case Dispatch(skBinary, opMore):
        case Dispatch(skBinary, opLess):
        case Dispatch(skBinary, opEqual):
        case Dispatch(skBinary, opMoreOrEqual):
        case Dispatch(skBinary, opLessOrEqual):
          ApplyComparison(step.Standard, top - 1, top - 2, top - 2);
          --top;
          break;
        case Dispatch(skUnary, opAdd):
        case Dispatch(skUnary, opSubtract):
          if (const long double* b = stack[top - 1].Number) {
            Store(Computed(step.Standard, 0, *b), top - 1, at + 1 == step_count);
          } else {
            ApplyArithmeticOther(step.Standard, kNoOperand, top - 1, at + 1 == step_count);
          }
          break;
        case Dispatch(skUnary, opNot):
          SetTruth(top - 1, !TruthOf(top - 1));
          break;
        case Dispatch(skFail, opOther):
          RaiseNamed(Expression, step);
        default:
          top = ApplyOther(step, top, spare);
          break;
      }
    }
  } catch (const Exception& e) {
    // Inside a call's arguments or the call itself the error passes on as a plain one.
    if (open_calls > 0) throw Exception(e.GetMessage());
    throw;
  }
  const Value& result = stack[0];
  if (!result.Text) return FloatToValueText(result.Result);
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
