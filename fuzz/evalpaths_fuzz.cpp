// The evaluator's number path against its text path. The input builds an expression (from a
// table of tokens, or taken raw) and the values of its variables; the expression is evaluated
// with Evaluate, which carries operator results as numbers, and with the same compiled tree run
// the text way, where every result is written and read again. Both must give the same text or
// the same error message, leave the same error fields and ask the provider the same questions
// in the same order. The compiled texts, kept from one input to the next (with what their
// variables remember of other values and separators), must answer and ask as a new standard
// expression does, under either separator. The number that stands for a written text is checked on
// its own too: ValueTextRoundTrip of any extended value must equal reading FloatToValueText of it,
// or raise the same error, and the writer's short-decimal path must write what its general path
// writes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/evalcache.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"
#include "fuzz/eval_outcome.h"
#include "fuzz/fuzz_input.h"
#include "platform/errors.h"

namespace {

// Variables A to F with values from the input; functions F (its first argument), G (nothing),
// H (fails) and Q (the first characters of its arguments joined into one string constant). Every
// question is logged.
class PathProvider : public TEvalProvider {
 public:
  bool IsFunction(const std::string& Name) override {
    Log += "?f" + Name + ";";
    return Name == "F" || Name == "G" || Name == "H" || Name == "Q";
  }
  bool IsVariable(const std::string& Name) override {
    Log += "?v" + Name + ";";
    return Name.size() == 1 && Name[0] >= 'A' && Name[0] <= 'F';
  }
  void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                    std::string& Result) override {
    Log += "call" + Name + "(";
    for (const std::string& param : Params) Log += param + ",";
    Log += ");";
    if (Name == "H") throw Exception("failed");
    if (Name == "F" && !Params.empty()) Result = Params[0];
    if (Name == "Q") {
      std::string joined;
      for (const std::string& param : Params) joined += param.substr(0, 12);
      Result = QuoteString(joined);
    }
  }
  void GetVariable(const std::string& Name, std::string& Result) override {
    Log += "get" + Name + ";";
    Result = Values[static_cast<std::size_t>(Name[0] - 'A')];
  }

  std::string Values[6];
  std::string Log;
};

// An operator of another class than the standard ones: "^" joins the first characters of its
// operands into a string constant; as a unary operator it answers its operand unchanged.
class JoinOperator : public TEvalOperator {
 public:
  explicit JoinOperator(TEvalExpression* Expression)
      : TEvalOperator(Expression, "^", true, true, 5) {}
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override {
    // Pieces only: joined whole, a chain of joins would grow without bound.
    Result = QuoteString(Left.substr(0, 12) + Right.substr(0, 12));
  }
  void EvaluateUnary(const std::string& Value, std::string& Result) override { Result = Value; }
};

// A descendant of a standard operator that computes something else: the number path must not
// take it for the standard one.
class TruncatingPlus : public TPlusOperator {
 public:
  using TPlusOperator::TPlusOperator;
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override {
    TPlusOperator::EvaluateBinary(Left, Right, Result);
    if (Result.size() > 4) Result.resize(4);
  }
};

// A number text of up to 21 digits with a point and a sign somewhere, an exponent form, or a
// text of another kind.
std::string ValueText(Bytes& in) {
  static const char* const kOthers[] = {"",
                                        "0",
                                        "-0",
                                        "1",
                                        "-1",
                                        "0.5",
                                        "1.5",
                                        "2.5",
                                        "$10",
                                        "-$10",
                                        "x1F",
                                        "0xFF",
                                        " 5",
                                        "5 ",
                                        "5.",
                                        ".",
                                        "1E",
                                        "1E4000",
                                        "1E308",
                                        "1.1E308",
                                        "1E-320",
                                        "\"\"",
                                        "\"12\"",
                                        "\"abc\"",
                                        "\"1E400\"",
                                        "\"-2.5\"",
                                        "abc",
                                        "2147483648",
                                        "-2147483648",
                                        "9223372036854775808",
                                        "999999999999999.5",
                                        "0.00001"};
  const std::uint8_t kind = in.Next();
  if (kind % 4 == 0) return kOthers[in.Next() % (sizeof kOthers / sizeof kOthers[0])];
  std::string text;
  const std::uint8_t shape = in.Next();
  if (shape & 1) text += '-';
  const int digits = 1 + in.Next() % 21;
  const int point = in.Next() % (digits + 2);
  for (int i = 0; i < digits; ++i) {
    if (i == point) text += '.';
    text += static_cast<char>('0' + in.Next() % 10);
  }
  if (kind % 4 == 1) {
    text += 'E';
    const int exponent = static_cast<int>(in.Next()) - 128;
    text += std::to_string((shape & 2) ? exponent * 3 : exponent / 8);
  }
  return text;
}

// An expression from a table of tokens, one input byte each.
std::string TokenText(Bytes& in) {
  static const char* const kTokens[] = {"A",
                                        "B",
                                        "C",
                                        "D",
                                        "E",
                                        "F",
                                        "1.5",
                                        "0",
                                        "2.2",
                                        "10",
                                        "0.1",
                                        "3",
                                        ".5",
                                        "7",
                                        "1",
                                        "\"12\"",
                                        "\"abc\"",
                                        "\"\"",
                                        "+",
                                        "-",
                                        "*",
                                        "/",
                                        "~",
                                        "&",
                                        "|",
                                        ">",
                                        "<",
                                        "=",
                                        ">=",
                                        "<=",
                                        "(",
                                        ")",
                                        "(",
                                        ")",
                                        "F(",
                                        "G(",
                                        "H(",
                                        "Q(",
                                        ",",
                                        "^",
                                        "+",
                                        "-",
                                        "*",
                                        "/",
                                        "A",
                                        "B",
                                        "1E5",
                                        "0.3",
                                        "999999999999999",
                                        "0.000123456789012345678",
                                        "123456789.123456789",
                                        "X"};
  return in.Tokens(kTokens);
}

using Outcome = EvalOutcome<decltype(PathProvider::Log)>;

// ValueTextRoundTrip against writing and reading the text.
void CheckRoundTrip(long double value) {
  std::string written, fast;
  long double read = 0, carried = 0;
  try {
    written = FloatToValueText(value);
    read = TextToFloat(written);
  } catch (const Exception& e) {
    written = std::string("!") + e.what();
  }
  try {
    carried = ValueTextRoundTrip(value);
  } catch (const Exception& e) {
    fast = std::string("!") + e.what();
  }
  if (written[0] == '!') {
    Require(fast == written);
    return;
  }
  Require(fast.empty());
  Require(std::memcmp(&read, &carried, 10) == 0 || (read == 0 && carried == 0));
  // The writer's short-decimal path against its general one.
  std::string general;
  value_text::WriteValueText(value, general);
  Require(written == general);
}

// A short decimal T / 10^D and the values a few units in the last place beside it, where
// products and sums of short decimals land; raw bit patterns almost never come near one.
long double ShortDecimal(const std::uint8_t* raw) {
  std::uint64_t bits;
  std::memcpy(&bits, raw, sizeof bits);
  const long double whole = static_cast<long double>(
      static_cast<std::int64_t>(bits % 2000000000000001ull) - 1000000000000000ll);
  static const long double kScales[] = {1.0L, 10.0L, 100.0L, 1000.0L, 10000.0L};
  long double value = whole / kScales[raw[8] % 5];
  for (int steps = raw[9] % 9 - 4; steps != 0; steps += steps < 0 ? 1 : -1)
    value = std::nextafter(value, steps < 0 ? -INFINITY : INFINITY);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<TEvalExpression> expression = [] {
    std::unique_ptr<TEvalExpression> e = CreateStandardExpression();
    e->AddOperator(std::make_unique<JoinOperator>(e.get()));
    return e;
  }();
  static std::unique_ptr<TEvalExpression> replaced = [] {
    std::unique_ptr<TEvalExpression> e = CreateStandardExpression();
    e->AddOperator(std::make_unique<TruncatingPlus>(e.get()));
    return e;
  }();
  static std::unique_ptr<TEvalExpression> standard = CreateStandardExpression();
  static TEvalCompiledTexts compiled;
  static PathProvider provider;

  Bytes in(data, size);
  const std::uint8_t mode = in.Next();

  // Ten raw bytes as an extended value (any pattern, unnormal ones included).
  if (size >= 11) {
    long double value = 0;
    std::memcpy(&value, data + 1, 10);
    CheckRoundTrip(value);
    CheckRoundTrip(ShortDecimal(data + 1));
  }

  SetLocaleDecimalSeparator(mode & 0x40 ? ',' : '.');
  for (std::string& value : provider.Values) value = ValueText(in);
  const std::string text = mode & 0x80 ? in.Rest() : TokenText(in);

  for (TEvalExpression* e : {expression.get(), replaced.get()}) {
    e->Provider = &provider;
    e->SetText(text);
    const Outcome numbers = Evaluated(*e, provider, [e] { return e->Evaluate(); });
    if (!e->Root() || e->ErrorCode != 0) continue;  // a parse error: no tree to run
    const Outcome texts = Evaluated(*e, provider, [e] {
      TEvalProgram program(*e->Root(), *e);
      return program.RunTexts(*e);
    });
    Require(numbers == texts);
    // Again on the kept tree: the number path's reused state must not leak between runs.
    Require(Evaluated(*e, provider, [e] { return e->Evaluate(); }) == numbers);
  }

  standard->Provider = &provider;
  for (const char separator : {mode & 0x40 ? ',' : '.', mode & 0x40 ? '.' : ','}) {
    SetLocaleDecimalSeparator(separator);
    standard->SetText(text);
    const Outcome fresh = Evaluated(*standard, provider, [] { return standard->Evaluate(); });
    // The first evaluation of a text, the second that keeps its program, then one of the kept
    // program.
    for (int visit = 0; visit < 3; ++visit) {
      provider.Log.clear();
      std::string kept;
      try {
        kept = compiled.Evaluate(text, &provider);
      } catch (const Exception& e) {
        kept = std::string("!") + e.what();
      }
      Require(kept == fresh.Text && provider.Log == fresh.ProviderLog);
    }
  }
  SetLocaleDecimalSeparator('.');
  return 0;
}
