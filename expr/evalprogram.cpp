// The postfix evaluation order of a parsed tree and its two runs.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
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

// Equal bytes of two texts of Length characters, at most a remembered text's, compared a word
// at a time (a number text of ten digits took as many dependent byte compares): every load lies
// within both texts, the last one of a size overlapping the one before.
[[gnu::always_inline]] inline bool SameShortBytes(const char* a, const char* b,
                                                  std::size_t length) {
  const auto word = [](const char* at) {
    std::uint64_t w;
    std::memcpy(&w, at, sizeof w);
    return w;
  };
  const auto half = [](const char* at) {
    std::uint32_t w;
    std::memcpy(&w, at, sizeof w);
    return w;
  };
  if (length >= 8) {
    std::uint64_t differ = word(a + length - 8) ^ word(b + length - 8);
    for (std::size_t i = 0; i + 8 < length; i += 8) differ |= word(a + i) ^ word(b + i);
    return differ == 0;
  }
  if (length >= 4)
    return ((half(a) ^ half(b)) | (half(a + length - 4) ^ half(b + length - 4))) == 0;
  // Up to three characters: the first, the middle and the last are all of them.
  return length == 0 ||
         (a[0] == b[0] && a[length / 2] == b[length / 2] && a[length - 1] == b[length - 1]);
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

// What Build reads of a tree of tokens: each step's text is the token's own, not copied.
struct TEvalProgram::TokenView {
  using Node = const TEvalToken*;
  Node Root;
  std::vector<Pending<Node>>& Work;
  static TEvalTokenKind Kind(Node Token) { return Token->Kind; }
  static std::int32_t Position(Node Token) { return Token->Position; }
  static int ChildCount(Node Token) { return Token->ChildCount(); }
  static std::string_view Name(Node Token) { return Token->Text; }
  static const std::string* Text(Node Token) { return &Token->Text; }
  // The children onto the work list, first to last or last to first.
  [[gnu::always_inline]] static void PushChildren(std::vector<Pending<Node>>& List, Node Token) {
    for (int i = 0; i < Token->ChildCount(); ++i) List.emplace_back(Token->Children(i), -1, false);
  }
  [[gnu::always_inline]] static void PushChildrenReversed(std::vector<Pending<Node>>& List,
                                                          Node Token) {
    for (int i = Token->ChildCount() - 1; i >= 0; --i)
      List.emplace_back(Token->Children(i), -1, false);
  }
};

// What Build reads of a flat tree: a node's text is copied once into the node's own string of
// the program when a step names it.
struct TEvalProgram::FlatView {
  using Node = std::int32_t;
  const TEvalFlatTree& Tree;
  Node Root;
  std::vector<Pending<Node>>& Work;
  std::vector<std::string>& Texts;
  bool& LargeTexts;
  [[gnu::always_inline]] const TEvalFlatTree::Node& At(Node Item) const {
    return Tree.Nodes.data()[Item];
  }
  TEvalTokenKind Kind(Node Item) const { return At(Item).Kind; }
  std::int32_t Position(Node Item) const { return At(Item).Position; }
  int ChildCount(Node Item) const { return At(Item).ChildCount; }
  [[gnu::always_inline]] std::string_view Name(Node Item) const { return Tree.TextOf(At(Item)); }
  [[gnu::always_inline]] const std::string* Text(Node Item) const {
    std::string& text = Texts.data()[Item];
    const std::string_view name = Name(Item);
    // Cleared and appended: an assignment also handles texts that overlap, which these never do.
    text.clear();
    text.append(name.data(), name.size());
    if (name.size() > kKeptWorkingText) LargeTexts = true;
    return &text;
  }
  void PushChildren(std::vector<Pending<Node>>& List, Node Item) const {
    for (Node child = At(Item).FirstChild; child >= 0; child = At(child).NextSibling)
      List.emplace_back(child, -1, false);
  }
  // The siblings are linked first to last: pushed so, then turned round.
  void PushChildrenReversed(std::vector<Pending<Node>>& List, Node Item) const {
    const std::size_t first = List.size();
    PushChildren(List, Item);
    std::reverse(List.begin() + static_cast<std::ptrdiff_t>(first), List.end());
  }
};

void TEvalProgram::Build(const TEvalToken& Root, const TEvalExpression& Expression) {
  BuildFrom(TokenView{&Root, Work}, Expression);
}

void TEvalProgram::Build(const TEvalFlatTree& Tree, const TEvalExpression& Expression) {
  // One string per node, kept between builds (GiveBackFlatTexts bounds them).
  if (!Flat) Flat = std::make_unique<FlatLists>();
  if (Flat->Texts.size() < Tree.Nodes.size()) Flat->Texts.resize(Tree.Nodes.size());
  BuildFrom(FlatView{Tree, Tree.Root, Flat->Work, Flat->Texts, Flat->LargeTexts}, Expression);
}

void TEvalProgram::GiveBackFlatTexts() {
  if (!Flat) return;
  if (Flat->Texts.size() > kKeptFlatNodes) {
    std::vector<std::string>().swap(Flat->Texts);
    Flat->LargeTexts = false;
  }
  if (Flat->Work.capacity() > kKeptFlatNodes) std::vector<Pending<std::int32_t>>().swap(Flat->Work);
  if (!Flat->LargeTexts) return;
  Flat->LargeTexts = false;
  for (std::string& text : Flat->Texts)
    if (text.capacity() > kKeptWorkingText) std::string().swap(text);
}

template <class View>
void TEvalProgram::BuildFrom(const View& Tree, const TEvalExpression& Expression) {
  using Node = typename View::Node;
  Steps.clear();
  Texts.clear();
  Numbers.clear();
  std::size_t variables = 0;
  auto& pending = Tree.Work;
  pending.clear();
  pending.emplace_back(Tree.Root, -1, false);
  std::size_t depth = 0, max_depth = 0;
  auto push_value = [&] { max_depth = std::max(max_depth, ++depth); };
  auto add = [this, &Tree](StepKind kind, Node token) -> Step& {
    Step& step = Steps.emplace_back();
    step.Kind = kind;
    step.Standard = opOther;
    step.HasNumber = false;
    step.Undefined = false;
    step.Position = Tree.Position(token);
    step.Ref = 0;
    step.Index = 0;
    return step;
  };
  auto add_text = [this, &Tree, &add](StepKind kind, Node token) -> Step& {
    Step& step = add(kind, token);
    step.Ref = static_cast<std::uint32_t>(Texts.size());
    Texts.push_back(Tree.Text(token));
    return step;
  };
  while (!pending.empty()) {
    // Field by field: a copy of the whole entry just written would wait for the write.
    const Node token = pending.back().Token;
    const int item_operator = pending.back().Operator;
    const bool expanded = pending.back().Expanded;
    pending.pop_back();
    const TEvalTokenKind kind = Tree.Kind(token);
    if (expanded) {
      if (kind == tkFunction) {
        const int count = Tree.ChildCount(token);
        add_text(skCall, token).Index = static_cast<std::uint32_t>(count);
        depth -= static_cast<std::size_t>(count);
        push_value();
      } else {
        const bool binary = Tree.ChildCount(token) == 2;
        Step& step = add(binary ? skBinary : skUnary, token);
        step.Standard =
            StandardOf(*Expression.OperatorList[static_cast<std::size_t>(item_operator)], binary);
        step.Ref = static_cast<std::uint32_t>(item_operator);
        if (binary) --depth;
      }
      continue;
    }
    switch (kind) {
      case tkConstant:
      case tkUnparsed: {
        Step& step = add_text(skConstant, token);
        // A number constant is read once; any other constant is read where it is used.
        const std::string_view text = Tree.Name(token);
        if (!text.empty()) {
          bool valid = false;
          const long double number = FloatTextValue(text, valid);
          if (valid) {
            step.HasNumber = true;
            step.Index = static_cast<std::uint32_t>(Numbers.size());
            Numbers.push_back(number);
          }
        }
        push_value();
        break;
      }
      case tkVariable:
        add_text(skVariable, token).Index = static_cast<std::uint32_t>(variables++);
        push_value();
        break;
      case tkFunction: {
        add_text(skEnter, token);
        pending.emplace_back(token, -1, true);
        // The arguments are taken first to last: they go on the list last to first.
        Tree.PushChildrenReversed(pending, token);
        break;
      }
      case tkOperator: {
        // The operator is checked before its operands are evaluated; a failing check stands in
        // for the whole subtree.
        const int index = Expression.IndexOfOperatorName(Tree.Name(token));
        const TEvalOperator* op =
            index < 0 ? nullptr : Expression.OperatorList[static_cast<std::size_t>(index)].get();
        const int count = Tree.ChildCount(token);
        if (!op || !((count == 2 && op->Binary) || (count == 1 && op->Unary))) {
          add_text(skFail, token).Undefined = !op;
          push_value();
          break;
        }
        pending.emplace_back(token, index, true);
        Tree.PushChildren(pending, token);
        break;
      }
    }
  }
  Memories.resize(variables);
  for (Memory& memory : Memories) {
    memory.Separator = 0;
    memory.Stamp = 0;
  }
  Own.Steps = Steps.data();
  Own.StepCount = Steps.size();
  Own.Texts = Texts.data();
  Own.Numbers = Numbers.data();
  Own.Memories = Memories.data();
  Own.StackSize = max_depth;
  Own.Runs = 0;
}

void TEvalProgram::Prepare(std::size_t Size) {
  // One string per stack position and the spare result; never fewer than a run needs.
  if (Stack.size() > Size) return;
  Values.resize(Size + 2);
  Slots.resize(Size + 1);
  Operands.resize(Size + 1);
  Stack.resize(Size + 1);
}

void TEvalProgram::GiveBackLargeTexts(std::size_t Size) {
  LargeTexts = false;
  for (std::size_t i = 0; i < Size + 2; ++i)
    if (Values[i].capacity() > kKeptWorkingText) std::string().swap(Values[i]);
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
  // A text that carries its number is a float text: an integer text is true above 0, any other
  // from a magnitude of 1 on, as its conversion to a Boolean truncates it. A magnitude that the
  // truncation refuses fails the way the text does.
  if (value.Text && value.Number && std::fabs(*value.Number) < 0x1p63L) {
    std::int32_t integer;
    if (TryTextToInt(*value.Text, integer)) return integer > 0;
    return std::fabs(*value.Number) >= 1;
  }
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

void TEvalProgram::RaiseNamed(TEvalExpression& Expression, const Step& Step,
                              const std::string& Name) {
  const char* message = Step.Kind == skVariable ? kInvalidVariableNamePrefix
                        : Step.Kind == skEnter  ? kInvalidFunctionNamePrefix
                        : Step.Undefined        ? kUndefinedOperator
                                                : kInvalidOperatorCall;
  Raise(Expression, message + Quoted(Name), Step.Position);
}

[[gnu::always_inline]] inline const long double* TEvalProgram::VariableNumber(
    Memory& Memory, const std::string& Text, std::uint32_t Run, Value& Value) {
  const char separator = LocaleDecimalSeparatorChar();
  // A remembered text is short: compared in place.
  const std::size_t length = Text.size();
  if (Memory.Separator == separator && Memory.Length == length &&
      SameShortBytes(Memory.Text, Text.data(), length)) {
    // The same text read under the same separator reads as the same number.
    Memory.Stamp = Run;
    return Memory.HasNumber ? &Memory.Number : nullptr;
  }
  bool valid = false;
  if (Memory.Stamp == Run) {
    // The memory serves another text of this run (a variable read twice, its value changed in
    // between): this text is read on its own.
    Value.Read = Text.empty() ? 0 : FloatTextValue(Text, valid);
    return valid ? &Value.Read : nullptr;
  }
  Memory.Stamp = Run;
  Memory.Number = Text.empty() ? 0 : FloatTextValue(Text, valid);
  Memory.HasNumber = valid;
  // A long text is not kept: the next run reads it again.
  Memory.Separator = 0;
  if (Text.size() <= kRememberedText) {
    Text.copy(Memory.Text, Text.size());
    Memory.Length = static_cast<std::uint8_t>(Text.size());
    Memory.Separator = separator;
  }
  return valid ? &Memory.Number : nullptr;
}

std::size_t TEvalProgram::Call(TEvalExpression& Expression, const Step& Step,
                               const std::string& Name, std::size_t Top) {
  const std::size_t count = Step.Index;
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
  if (!provider) Raise(Expression, kNoProvider, Step.Position);
  std::string& text = *Slots[Top];
  text.clear();
  provider->CallFunction(Name, params, text);
  NoteSize(text);
  Value& value = Stack[Top++];
  value.Text = &text;
  value.Number = nullptr;
  return Top;
}

std::size_t TEvalProgram::ApplyOther(TEvalExpression& Expression, const Step& Step, std::size_t Top,
                                     std::string*& Spare) {
  // Any other operator gets texts; its result goes to the spare string, which then takes the
  // slot's place.
  TEvalOperator& op = *Expression.OperatorList[Step.Ref];
  const std::size_t result = Step.Kind == skBinary ? Top - 2 : Top - 1;
  Spare->clear();
  if (Step.Kind == skBinary) {
    const std::string& a = TextOf(Top - 1);
    const std::string& b = TextOf(result);
    op.EvaluateBinary(a, b, *Spare);
  } else {
    op.EvaluateUnary(TextOf(result), *Spare);
  }
  NoteSize(*Spare);
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

// The working storage of one run: room for the stack, each slot on its own string and the
// spare one; the strings that grew large go back when the run ends, however it ends.
class TEvalProgram::RunScope {
 public:
  RunScope(TEvalProgram& program, std::size_t size) : Program(program), Size(size) {
    Program.Prepare(Size);
    for (std::size_t i = 0; i <= Size; ++i) Program.Slots[i] = &Program.Values[i];
    Spare = &Program.Values[Size + 1];
  }
  ~RunScope() {
    if (Program.LargeTexts) Program.GiveBackLargeTexts(Size);
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

  std::string* Spare;

 private:
  TEvalProgram& Program;
  std::size_t Size;
};

std::string TEvalProgram::Run(TEvalExpression& Expression) {
  return RunCode(Expression, Own);
}

std::string TEvalProgram::Run(TEvalExpression& Expression, TEvalFrozenProgram& Frozen) {
  if (Frozen.Running) throw Exception(kExpressionInUse);
  Frozen.Running = true;
  struct Done {
    bool& Running;
    ~Done() { Running = false; }
  } done{Frozen.Running};
  return RunCode(Expression, Frozen.View);
}

std::string TEvalProgram::RunCode(TEvalExpression& Expression, Code& Program) {
  static_assert(opLessOrEqual < 16, "a dispatch code holds the operator in four bits");
  RunScope scope(*this, Program.StackSize);
  std::string* spare = scope.Spare;
  Value* const stack = Stack.data();
  const Step* const steps = Program.Steps;
  const std::string* const* const texts = Program.Texts;
  const std::uint32_t run = ++Program.Runs;
  std::size_t top = 0;
  int open_calls = 0;
  const std::size_t step_count = Program.StepCount;
  try {
    for (std::size_t at = 0; at < step_count; ++at) {
      const Step& step = steps[at];
      switch (Dispatch(step.Kind, step.Standard)) {
        case Dispatch(skConstant, opOther): {
          // Read in place: the texts outlive the run.
          Value& value = stack[top++];
          value.Text = texts[step.Ref];
          value.Number = step.HasNumber ? &Program.Numbers[step.Index] : nullptr;
          break;
        }
        case Dispatch(skVariable, opOther): {
          const std::string& name = *texts[step.Ref];
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, step.Position);
          std::string& text = *Slots[top];
          text.clear();
          if (!provider->ReadVariable(name, text)) RaiseNamed(Expression, step, name);
          NoteSize(text);
          // A float text is read as a number at once (reading never fails); the same text as
          // the last time has the same number.
          Value& value = stack[top++];
          value.Text = &text;
          value.Number = VariableNumber(Program.Memories[step.Index], text, run, value);
          break;
        }
        case Dispatch(skEnter, opOther): {
          const std::string& name = *texts[step.Ref];
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, step.Position);
          if (!provider->IsFunction(name)) RaiseNamed(Expression, step, name);
          ++open_calls;
          break;
        }
        case Dispatch(skCall, opOther):
          top = Call(Expression, step, *texts[step.Ref], top);
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
            const long double r = Computed(steps[at].Standard, x, y);
            --top;
            if (at + 1 == step_count) {
              Store(r, top - 1, true);
              break;
            }
            const Step& next = steps[at + 1];
            const long double* below = nullptr;
            if (next.Kind == skBinary && next.Standard >= opAdd && next.Standard <= opDivide)
              below = stack[top - 2].Number;
            if (!below) {
              Store(r, top - 1, false);
              break;
            }
            long double read;
            if (!value_text::ShortRoundTrip(r, read)) [[unlikely]] {
              // The round trip of any other result reads its bytes: it goes through the stack
              // slot the result would take, so that the short path keeps it in the registers
              // (Computed raised for every value that has no text).
              long double& stored = stack[top - 1].Result;
              stored = r;
              read = value_text::RoundTripOther(stored);
            }
            x = read;
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
          RaiseNamed(Expression, step, *texts[step.Ref]);
        default:
          top = ApplyOther(Expression, step, top, spare);
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
  RunScope scope(*this, Own.StackSize);
  std::string* spare = scope.Spare;
  std::size_t top = 0;
  int open_calls = 0;
  try {
    for (const Step& step : Steps) {
      switch (step.Kind) {
        case skConstant:
          Operands[top++] = Texts[step.Ref];  // read in place: the tree outlives the run
          break;
        case skVariable: {
          const std::string& name = *Texts[step.Ref];
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, step.Position);
          if (!provider->IsVariable(name))
            Raise(Expression, kInvalidVariableNamePrefix + Quoted(name), step.Position);
          std::string& value = *Slots[top];
          value.clear();
          provider->GetVariable(name, value);
          NoteSize(value);
          Operands[top++] = &value;
          break;
        }
        case skEnter: {
          const std::string& name = *Texts[step.Ref];
          TEvalProvider* provider = Expression.Provider;
          if (!provider) Raise(Expression, kNoProvider, step.Position);
          if (!provider->IsFunction(name))
            Raise(Expression, kInvalidFunctionNamePrefix + Quoted(name), step.Position);
          ++open_calls;
          break;
        }
        case skCall: {
          const std::size_t count = step.Index;
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
          if (!provider) Raise(Expression, kNoProvider, step.Position);
          std::string& value = *Slots[top];
          value.clear();
          provider->CallFunction(*Texts[step.Ref], params, value);
          NoteSize(value);
          Operands[top++] = &value;
          --open_calls;
          break;
        }
        case skBinary:
          // The result goes to the spare string, which then takes the slot's place.
          spare->clear();
          Expression.OperatorList[step.Ref]->EvaluateBinary(*Operands[top - 1], *Operands[top - 2],
                                                            *spare);
          NoteSize(*spare);
          std::swap(Slots[top - 2], spare);
          Operands[top - 2] = Slots[top - 2];
          --top;
          break;
        case skUnary:
          spare->clear();
          Expression.OperatorList[step.Ref]->EvaluateUnary(*Operands[top - 1], *spare);
          NoteSize(*spare);
          std::swap(Slots[top - 1], spare);
          Operands[top - 1] = Slots[top - 1];
          break;
        case skFail:
          RaiseNamed(Expression, step, *Texts[step.Ref]);
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

// The hash of a text, a word at a time, mixed so that its low bits, which choose the slot, depend
// on every byte.
std::size_t TextHash(std::string_view text) {
  constexpr std::uint64_t kMultiplier = 0xbf58476d1ce4e5b9u;
  const char* at = text.data();
  std::size_t left = text.size();
  std::uint64_t hash = 0x9e3779b97f4a7c15u ^ left;
  const auto mix = [&hash](std::uint64_t word) {
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 31;
  };
  for (; left >= 8; left -= 8, at += 8) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    mix(word);
  }
  if (left > 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, left);
    mix(word);
  }
  hash *= 0x94d049bb133111ebu;
  hash ^= hash >> 29;
  // 0 marks a free slot.
  return static_cast<std::size_t>(hash | (hash == 0));
}

// ---------------------------------------------------------------------------------------------
// TEvalFrozenProgram

namespace {

constexpr std::size_t AlignUp(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

// The content of a key for Distinct: a text's characters, a number's ten bytes (two numbers
// are one when their bytes are: the readings of equal numbers, never 0 and -0, which no constant
// reads as).
std::string_view ContentOf(std::string_view key) {
  return key;
}
std::string_view ContentOf(const long double& key) {
  return {reinterpret_cast<const char*>(&key), 10};
}

// Distinct values by content, each answered by the index of its first occurrence: a short list
// is searched in place, a longer one through an open-addressing table of indices. Kept per
// program between uses, so that freezing a program allocates little besides its block.
template <class Key>
class Distinct {
 public:
  void Clear() {
    Keys.clear();
    Table.clear();
  }
  std::uint32_t IndexOf(const Key& key) {
    const std::string_view content = ContentOf(key);
    if (Table.empty()) {
      for (std::size_t i = 0; i < Keys.size(); ++i)
        if (ContentOf(Keys[i]) == content) return static_cast<std::uint32_t>(i);
      if (Keys.size() < kSearchedInPlace) return Add(key);
      Grow();
    }
    const std::size_t mask = Table.size() - 1;
    for (std::size_t at = TextHash(content) & mask;; at = (at + 1) & mask) {
      const std::uint32_t entry = Table[at];
      if (entry == 0) {
        Table[at] = static_cast<std::uint32_t>(Keys.size() + 1);
        const std::uint32_t index = Add(key);
        if (Keys.size() * 2 > Table.size()) Grow();
        return index;
      }
      if (ContentOf(Keys[entry - 1]) == content) return entry - 1;
    }
  }
  std::size_t Count() const { return Keys.size(); }
  const Key* Data() const { return Keys.data(); }

 private:
  static constexpr std::size_t kSearchedInPlace = 16;
  std::uint32_t Add(const Key& key) {
    Keys.push_back(key);
    return static_cast<std::uint32_t>(Keys.size() - 1);
  }
  // A table at most half full (a slot holds an index plus one, 0 when free), every key in it.
  void Grow() {
    std::size_t size = 64;
    while (size < Keys.size() * 4) size *= 2;
    Table.assign(size, 0);
    for (std::size_t i = 0; i < Keys.size(); ++i) {
      std::size_t at = TextHash(ContentOf(Keys[i])) & (size - 1);
      while (Table[at] != 0) at = (at + 1) & (size - 1);
      Table[at] = static_cast<std::uint32_t>(i + 1);
    }
  }
  std::vector<Key> Keys;
  std::vector<std::uint32_t> Table;
};

// The heap a string holds beside itself, and the heap a copy of it holds (a working string may
// have room beyond its text).
const std::size_t kInPlace = std::string().capacity();
std::size_t HeapOf(const std::string& text) {
  return text.capacity() > kInPlace ? text.capacity() + 1 : 0;
}
std::size_t CopyHeapOf(const std::string& text) {
  return text.size() > kInPlace ? text.size() + 1 : 0;
}

// Programs of up to this many texts are frozen without looking for equal texts, numbers and
// variables (but for a call's name, which its two steps share).
constexpr std::size_t kSmallProgram = 16;

}  // namespace

// Where each text, number and variable memory of a large program goes in its frozen copy.
struct TEvalProgram::FreezeLists {
  Distinct<std::string_view> Texts;
  Distinct<std::string_view> Names;
  Distinct<long double> Numbers;
  std::vector<std::uint32_t> TextMap, NumberMap, MemoryMap;
};

TEvalProgram::TEvalProgram() = default;
TEvalProgram::~TEvalProgram() = default;

std::size_t TEvalFrozenProgram::MostBlockBytes(const TEvalProgram& Built, std::string_view Key,
                                               std::size_t& MostTextBytes) {
  MostTextBytes = 0;
  for (const std::string* text : Built.Texts) MostTextBytes += CopyHeapOf(*text);
  return sizeof(TEvalFrozenProgram) + alignof(long double) * 3 +
         Built.Steps.size() * sizeof(TEvalProgram::Step) +
         Built.Numbers.size() * sizeof(long double) +
         Built.Memories.size() * sizeof(TEvalProgram::Memory) +
         Built.Texts.size() * (sizeof(std::string*) + sizeof(std::string)) + Key.size();
}

std::size_t TEvalFrozenProgram::FailedBlockBytes(const std::string& Error, std::string_view Key) {
  return sizeof(TEvalFrozenProgram) + Key.size() + Error.size();
}

TEvalFrozenProgram* TEvalFrozenProgram::Make(TEvalProgram& Built, std::string_view Key,
                                             std::size_t Hash, TEvalBlockStore& Store) {
  using Step = TEvalProgram::Step;
  using Memory = TEvalProgram::Memory;
  // The texts the copy keeps, and where each of the program's texts, numbers and memories
  // goes; a null map keeps every entry where it is.
  // (Left uninitialised: only the entries in use are written and read.)
  const std::string* smallTexts[kSmallProgram];
  std::uint32_t smallMap[kSmallProgram];
  const std::string_view* texts = nullptr;
  const std::uint32_t* textMap = smallMap;
  const std::uint32_t* numberMap = nullptr;
  const std::uint32_t* memoryMap = nullptr;
  const long double* numbers = Built.Numbers.data();
  std::size_t textCount = 0;
  std::size_t numberCount = Built.Numbers.size();
  std::size_t memoryCount = Built.Memories.size();
  if (Built.Texts.size() <= kSmallProgram) {
    for (std::size_t i = 0; i < Built.Texts.size(); ++i) {
      std::size_t k = 0;
      while (k < textCount && smallTexts[k] != Built.Texts[i]) ++k;
      if (k == textCount) smallTexts[textCount++] = Built.Texts[i];
      smallMap[i] = static_cast<std::uint32_t>(k);
    }
  } else {
    if (!Built.Freezing) Built.Freezing = std::make_unique<TEvalProgram::FreezeLists>();
    TEvalProgram::FreezeLists& lists = *Built.Freezing;
    lists.Texts.Clear();
    lists.Names.Clear();
    lists.Numbers.Clear();
    lists.TextMap.resize(Built.Texts.size());
    for (std::size_t i = 0; i < Built.Texts.size(); ++i)
      lists.TextMap[i] = lists.Texts.IndexOf(*Built.Texts[i]);
    lists.NumberMap.resize(Built.Numbers.size());
    for (std::size_t i = 0; i < Built.Numbers.size(); ++i)
      lists.NumberMap[i] = lists.Numbers.IndexOf(Built.Numbers[i]);
    lists.MemoryMap.resize(Built.Memories.size());
    for (const Step& step : Built.Steps)
      if (step.Kind == TEvalProgram::skVariable)
        lists.MemoryMap[step.Index] = lists.Names.IndexOf(*Built.Texts[step.Ref]);
    texts = lists.Texts.Data();
    textCount = lists.Texts.Count();
    textMap = lists.TextMap.data();
    numbers = lists.Numbers.Data();
    numberCount = lists.Numbers.Count();
    numberMap = lists.NumberMap.data();
    memoryCount = lists.Names.Count();
    memoryMap = lists.MemoryMap.data();
  }

  const std::size_t stepsAt = AlignUp(sizeof(TEvalFrozenProgram), alignof(Step));
  const std::size_t numbersAt =
      AlignUp(stepsAt + Built.Steps.size() * sizeof(Step), alignof(long double));
  const std::size_t memoriesAt =
      AlignUp(numbersAt + numberCount * sizeof(long double), alignof(Memory));
  const std::size_t pointersAt =
      AlignUp(memoriesAt + memoryCount * sizeof(Memory), alignof(std::string*));
  const std::size_t stringsAt =
      AlignUp(pointersAt + textCount * sizeof(std::string*), alignof(std::string));
  const std::size_t charsAt = stringsAt + textCount * sizeof(std::string);
  const std::size_t total = charsAt + Key.size();
  char* const block = static_cast<char*>(Store.Take(total));
  TEvalFrozenProgram* frozen = new (block) TEvalFrozenProgram;
  frozen->Hash = Hash;
  Key.copy(block + charsAt, Key.size());
  frozen->KeyText = block + charsAt;
  frozen->KeyLength = Key.size();

  auto* const strings = reinterpret_cast<std::string*>(block + stringsAt);
  auto* const pointers = reinterpret_cast<const std::string**>(block + pointersAt);
  frozen->OwnTexts = strings;
  try {
    for (; frozen->TextCount < textCount; ++frozen->TextCount) {
      const std::size_t i = frozen->TextCount;
      std::string* text =
          new (strings + i) std::string(texts ? texts[i] : std::string_view(*smallTexts[i]));
      pointers[frozen->TextCount] = text;
      frozen->TextHeap += HeapOf(*text);
    }
  } catch (...) {
    Destroy(frozen);
    throw;
  }

  auto* const steps = reinterpret_cast<Step*>(block + stepsAt);
  // Most small programs keep every text, number and memory where it is: their steps are copied
  // as they stand.
  bool moved = numberMap || memoryMap;
  for (std::size_t i = 0; !moved && i < Built.Texts.size(); ++i) moved = textMap[i] != i;
  if (!moved && !Built.Steps.empty())
    std::memcpy(static_cast<void*>(steps), Built.Steps.data(), Built.Steps.size() * sizeof(Step));
  for (std::size_t i = 0; moved && i < Built.Steps.size(); ++i) {
    Step step = Built.Steps[i];
    switch (step.Kind) {
      case TEvalProgram::skBinary:
      case TEvalProgram::skUnary:
        break;  // the operator's index stays
      case TEvalProgram::skConstant:
        if (step.HasNumber && numberMap) step.Index = numberMap[step.Index];
        step.Ref = textMap[step.Ref];
        break;
      case TEvalProgram::skVariable:
        if (memoryMap) step.Index = memoryMap[step.Index];
        step.Ref = textMap[step.Ref];
        break;
      default:
        step.Ref = textMap[step.Ref];
        break;
    }
    new (steps + i) Step(step);
  }
  // The numbers' bytes are copied as they are: a load and store of each extended value through
  // the floating-point unit costs far more.
  auto* const frozenNumbers = reinterpret_cast<long double*>(block + numbersAt);
  if (numberCount > 0)
    std::memcpy(static_cast<void*>(frozenNumbers), numbers, numberCount * sizeof(long double));
  auto* const memories = reinterpret_cast<Memory*>(block + memoriesAt);
  for (std::size_t i = 0; i < memoryCount; ++i) {
    Memory* memory = new (memories + i) Memory;
    memory->Separator = 0;
    memory->Stamp = 0;
  }

  TEvalProgram::Code& view = frozen->View;
  view.Steps = steps;
  view.StepCount = Built.Steps.size();
  view.Texts = pointers;
  view.Numbers = frozenNumbers;
  view.Memories = memories;
  view.StackSize = Built.Own.StackSize;
  view.Runs = 0;
  return frozen;
}

TEvalFrozenProgram* TEvalFrozenProgram::MakeFailed(const std::string& Error, std::string_view Key,
                                                   std::size_t Hash, TEvalBlockStore& Store) {
  const std::size_t charsAt = sizeof(TEvalFrozenProgram);
  char* const block = static_cast<char*>(Store.Take(FailedBlockBytes(Error, Key)));
  TEvalFrozenProgram* frozen = new (block) TEvalFrozenProgram;
  frozen->Hash = Hash;
  Key.copy(block + charsAt, Key.size());
  Error.copy(block + charsAt + Key.size(), Error.size());
  frozen->KeyText = block + charsAt;
  frozen->KeyLength = Key.size();
  frozen->ErrorLength = Error.size();
  return frozen;
}

void TEvalFrozenProgram::Destroy(TEvalFrozenProgram* Frozen) {
  if (!Frozen) return;
  for (std::size_t i = 0; i < Frozen->TextCount; ++i) Frozen->OwnTexts[i].~basic_string();
  Frozen->~TEvalFrozenProgram();
}

// ---------------------------------------------------------------------------------------------
// TEvalBlockStore

namespace {

// Chunks of small blocks, and the largest block cut from one.
constexpr std::size_t kFirstChunk = 4 * 1024;
constexpr std::size_t kLastChunk = 64 * 1024;
constexpr std::size_t kLargestCut = kAddressSanitizer ? 0 : kLastChunk / 4;
constexpr std::size_t kBlockAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
static_assert(kBlockAlignment >= alignof(long double));

// The next chunk: as large as what is held, within the bounds, and never smaller than the block
// it is taken for.
std::size_t ChunkFor(std::size_t size, std::size_t held) {
  return std::max(size, std::clamp(held, kFirstChunk, kLastChunk));
}

// Chunks of the largest size that a cleared store gave back, for the next stores of the thread
// (a new engine, the next export): memory the process has touched already, where a chunk given
// back to the allocator would go back to the system and every page be faulted in anew. At most
// 2 MB; a plain array, so that it needs no destructor.
constexpr std::size_t kKeptChunkRoom = 32;
constexpr std::size_t kKeptChunks = kAddressSanitizer ? 0 : kKeptChunkRoom;
struct KeptChunks {
  void* Chunks[kKeptChunkRoom];
  std::size_t Count;
};
thread_local KeptChunks kept_chunks{};

void* NewChunk(std::size_t size) {
  if (size == kLastChunk && kept_chunks.Count > 0) return kept_chunks.Chunks[--kept_chunks.Count];
  return ::operator new(size);
}

void FreeChunkOf(void* chunk, std::size_t size) {
  if (size == kLastChunk && kept_chunks.Count < kKeptChunks) {
    kept_chunks.Chunks[kept_chunks.Count++] = chunk;
  } else {
    ::operator delete(chunk);
  }
}

}  // namespace

std::size_t TEvalBlockStore::BytesFor(std::size_t Size) const {
  const std::size_t size = AlignUp(Size, kBlockAlignment);
  if (size > kLargestCut) return size;
  if (size <= Left) return 0;
  return ChunkFor(size, Held);
}

void* TEvalBlockStore::Take(std::size_t Size) {
  const std::size_t size = AlignUp(Size, kBlockAlignment);
  Allocations.reserve(Allocations.size() + 1);
  if (size > kLargestCut) {
    void* block = ::operator new(size);
    Allocations.emplace_back(block, size);
    Held += size;
    return block;
  }
  if (size > Left) {
    const std::size_t chunk = ChunkFor(size, Held);
    Next = static_cast<char*>(NewChunk(chunk));
    Allocations.emplace_back(Next, chunk);
    Left = chunk;
    Held += chunk;
  }
  void* block = Next;
  Next += size;
  Left -= size;
  return block;
}

void TEvalBlockStore::Clear() {
  for (const auto& [allocation, size] : Allocations) FreeChunkOf(allocation, size);
  Allocations.clear();
  Next = nullptr;
  Left = 0;
  Held = 0;
}
