// The expression object: operator list, normalised text, parsed tree and last error.

#include "expr/eval.h"

#include <array>
#include <string>
#include <utility>

#include "expr/evalimpl.h"
#include "platform/errors.h"

namespace {

// What normalising writes for a character outside string constants (ASCII letters upper-cased),
// and whether it is kept: blanks are dropped.
constexpr auto kNormalized = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[static_cast<std::size_t>(c)] =
        static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return table;
}();
constexpr auto kKept = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = c != ' ' && c != '\t';
  return table;
}();

// Marks an expression as evaluating for the lifetime of the guard.
class EvaluatingScope {
 public:
  explicit EvaluatingScope(bool& flag) : Flag(flag) { Flag = true; }
  ~EvaluatingScope() { Flag = false; }
  EvaluatingScope(const EvaluatingScope&) = delete;
  EvaluatingScope& operator=(const EvaluatingScope&) = delete;

 private:
  bool& Flag;
};

}  // namespace

TEvalExpression::TEvalExpression() = default;

TEvalExpression::~TEvalExpression() {
  // The compiled order refers to the operators and the tree: it goes first.
  Program.reset();
  RootToken.reset();
  OperatorList.clear();
}

void TEvalExpression::CheckNotEvaluating() const {
  if (Evaluating) throw Exception(kExpressionInUse);
}

void TEvalExpression::DropProgram() {
  ProgramReady = false;
}

void TEvalExpression::BuildProgram() {
  if (!Program) Program = std::make_unique<TEvalProgram>();
  Program->Build(*RootToken, *this);
  ProgramReady = true;
}

void TEvalExpression::AddOperator(std::unique_ptr<TEvalOperator> Op) {
  CheckNotEvaluating();
  DropProgram();
  OperatorList.push_back(std::move(Op));
}

int TEvalExpression::IndexOfOperator(const TEvalOperator* Op) const {
  for (int i = OperatorCount() - 1; i >= 0; --i)
    if (OperatorList[static_cast<std::size_t>(i)].get() == Op) return i;
  return -1;
}

void TEvalExpression::DeleteOperator(const TEvalOperator* Op) {
  CheckNotEvaluating();
  const int index = IndexOfOperator(Op);
  if (index < 0) return;
  DropProgram();
  OperatorList.erase(OperatorList.begin() + index);
}

void TEvalExpression::ClearOperators() {
  CheckNotEvaluating();
  DropProgram();
  // First to last, as they were added.
  for (auto& op : OperatorList) op.reset();
  OperatorList.clear();
}

TEvalOperator* TEvalExpression::Operators(int Index) const {
  if (Index < 0 || Index >= OperatorCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return OperatorList[static_cast<std::size_t>(Index)].get();
}

int TEvalExpression::IndexOfOperatorName(std::string_view Name) const {
  // The first character is compared in place before the whole names; a one-character name,
  // as most are, is then found.
  const std::size_t size = Name.size();
  for (int i = OperatorCount() - 1; i >= 0; --i) {
    const std::string& name = OperatorList[static_cast<std::size_t>(i)]->Name;
    if (name.size() != size) continue;
    if (size == 0) return i;
    if (name[0] == Name[0] && (size == 1 || name == Name)) return i;
  }
  return -1;
}

TEvalOperator* TEvalExpression::FindOperator(const std::string& Name) const {
  const int index = IndexOfOperatorName(Name);
  return index < 0 ? nullptr : OperatorList[static_cast<std::size_t>(index)].get();
}

bool TEvalExpression::IsUnaryOperator(const std::string& Name) const {
  const TEvalOperator* op = FindOperator(Name);
  return op && op->Unary;
}

std::string TEvalExpression::NormalizeText(const std::string& Text) {
  std::string result;
  NormalizeInto(Text, result);
  return result;
}

void TEvalExpression::NormalizeInto(const std::string& Text, std::string& result) {
  // Written through a pointer into room for the whole text (the result is never longer) and cut
  // to its length at the end.
  const std::size_t n = Text.size();
  result.resize(n);
  char* const first = result.data();
  char* out = first;
  const char* const text = Text.data();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '"') {
      // A string constant is copied as written; an unterminated one takes the rest.
      std::size_t j = i + 1;
      bool escaped = false;
      for (; j < n; ++j) {
        if (escaped) {
          escaped = false;
        } else if (Text[j] == '\\') {
          escaped = true;
        } else if (Text[j] == '"') {
          break;
        }
      }
      if (j >= n) j = n - 1;
      Text.copy(out, j + 1 - i, i);
      out += j + 1 - i;
      i = j;
      continue;
    }
    // Every other character is written; a blank is written over by the next one.
    const unsigned char u = static_cast<unsigned char>(c);
    *out = static_cast<char>(kNormalized[u]);
    out += kKept[u];
  }
  result.resize(static_cast<std::size_t>(out - first));
}

void TEvalExpression::SetText(const std::string& NewText) {
  CheckNotEvaluating();
  if (RootToken) Reset();
  CompileFailed = false;
  // Into the storage of the last text, unless the new text is that very string.
  if (&NewText == &Text) {
    Text = NormalizeText(NewText);
  } else {
    NormalizeInto(NewText, Text);
  }
}

void TEvalExpression::Reset() {
  CheckNotEvaluating();
  DropProgram();
  RootToken.reset();
  CompileFailed = false;
  ErrorMessage = kNoError;
  ErrorCode = 0;
  ErrorPosition = 0;
}

bool TEvalExpression::Compile() {
  CheckNotEvaluating();
  if (!ParseText()) return false;
  // The evaluation order is laid out with the tree, so that a compiled text is ready to run.
  BuildProgram();
  return true;
}

bool TEvalExpression::ParseText() {
  if (RootToken) Reset();
  // The one-pass parser builds the tree of a text that parses; any other text, and any text
  // it leaves, is parsed level by level, which also gives every error its message and position.
  if (ErrorCode == 0) {
    if (!TextParser) TextParser = std::make_unique<TEvalTextParser>();
    RootToken = TextParser->Parse(*this, Text);
  }
  const bool ok = RootToken || ParseByLevels();
  CompileFailed = !ok;
  if (!ok) CompileError = ErrorMessage + "\r\n" + std::to_string(ErrorPosition);
  return ok;
}

bool TEvalExpression::ParseByLevels() {
  RootToken = std::make_unique<TEvalToken>(this, nullptr, Text, 1);
  return RootToken->Parse() && RootToken->ParseChildren();
}

void TEvalExpression::RaiseStoredError() const {
  throw Exception(CompileError);
}

std::string TEvalExpression::Evaluate() {
  CheckNotEvaluating();
  if (!RootToken) Compile();
  if (CompileFailed) RaiseStoredError();
  if (!ProgramReady) BuildProgram();
  EvaluatingScope scope(Evaluating);
  return Program->Run(*this);
}
