// The expression engine on arbitrary texts: normalising, parsing and evaluating against a small
// table of variables and functions, and the scanners at every position. Nothing may crash or
// hang; every failure must be an Exception; a text evaluates the same way twice, and a failed
// compile is raised again with the same message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/evalimpl.h"
#include "fuzz/fuzz_input.h"
#include "platform/errors.h"

namespace {

// Variables of every value type and three functions: one that answers its first argument, one
// that answers nothing and one that fails.
class FuzzProvider : public TEvalProvider {
 public:
  bool IsFunction(const std::string& Name) override {
    return Name == "F" || Name == "G" || Name == "H";
  }
  bool IsVariable(const std::string& Name) override { return Value(Name) != nullptr; }
  void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                    std::string& Result) override {
    if (Name == "H") throw Exception("failed");
    if (Name == "F" && !Params.empty()) Result = Params[0];
  }
  void GetVariable(const std::string& Name, std::string& Result) override {
    if (const char* value = Value(Name)) Result = value;
  }

 private:
  static const char* Value(const std::string& name) {
    static const struct {
      const char* Name;
      const char* Value;
    } table[] = {{"A", "1.5"},    {"B", "\"x\""}, {"C", "$10"},    {"D", ""},
                 {"E", "1E4000"}, {"I", "-7"},    {"S", "\"12\""}, {"Z", "0"}};
    for (const auto& entry : table)
      if (name == entry.Name) return entry.Value;
    return nullptr;
  }
};

// The value text, or the message prefixed with "!".
std::string Outcome(TEvalExpression& expression) {
  try {
    return expression.Evaluate();
  } catch (const Exception& e) {
    return std::string("!") + e.what();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::string normalised = TEvalExpression::NormalizeText(text);
  Require(TEvalExpression::NormalizeText(normalised) == normalised);

  static std::unique_ptr<TEvalExpression> expression = CreateStandardExpression();
  static FuzzProvider provider;
  expression->Provider = &provider;
  expression->SetText(text);
  Require(expression->GetText() == normalised);
  const std::string first = Outcome(*expression);
  Require(Outcome(*expression) == first);

  // The scanners at every position of a short text.
  if (size <= 256) {
    using Scanner = std::string (*)(const std::string&, int&);
    const Scanner scanners[] = {ReadWhitespace,     ReadIdentifier,     ReadNumber,
                                ReadStringConstant, ReadExpressionPart, ReadParameterList};
    for (Scanner scan : scanners) {
      for (int pos = 0; pos <= static_cast<int>(size) + 1; ++pos) {
        int at = pos;
        try {
          const std::string piece = scan(text, at);
          Require(at >= pos && piece.size() == static_cast<std::size_t>(at - pos));
        } catch (const Exception&) {
        }
      }
    }
  }
  return 0;
}
