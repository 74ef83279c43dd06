#pragma once

// The expression object and the provider interface.
//
// A TEvalExpression holds the operators of its language, the current expression text in
// normalised form, the parsed tree of that text while the text stays, and the last error.
// Variables and functions come from a TEvalProvider that the owner assigns. Every use is the
// pair SetText, Evaluate: Evaluate answers a value text or raises.
//
// Errors of the text itself (parse errors) and of its tokens (undefined operator, unknown
// variable or function, no provider) carry the message, a carriage return and line feed and
// the 1-based position in the normalised text. Errors of operators, conversions and providers
// pass out with their own message only.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TEvalOperator;
class TEvalToken;
class TEvalProgram;
class TEvalTextParser;

// The supplier of variables and functions to an expression. A name written without brackets is
// only ever asked as a variable, a name written with brackets only as a function. Names arrive
// normalised (ASCII letters upper-case). Owned by whoever creates it, never by the expression.
class TEvalProvider {
 public:
  virtual ~TEvalProvider() = default;

  // The provider knows a function of that name.
  virtual bool IsFunction(const std::string& Name) = 0;
  // The provider knows a variable of that name.
  virtual bool IsVariable(const std::string& Name) = 0;
  // Calls the function with its argument value texts in order; Result arrives empty and stays
  // empty when the function writes nothing.
  virtual void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                            std::string& Result) = 0;
  // The value text of the variable; Result arrives empty.
  virtual void GetVariable(const std::string& Name, std::string& Result) = 0;
  // IsVariable and, when it answers true, GetVariable in one call: false when the provider does
  // not know the name (Result then stays as it arrived, empty). The evaluator reads variables
  // through it; a provider that can answer both with one look-up overrides it, with the same
  // outcome and the same effects as the two calls.
  virtual bool ReadVariable(const std::string& Name, std::string& Result) {
    if (!IsVariable(Name)) return false;
    GetVariable(Name, Result);
    return true;
  }
};

// Messages of the expression object (byte-exact).
inline constexpr const char* kNoError = "No error";
// Raised by Evaluate, SetText and the other changing operations while an evaluation of the
// same object is under way (a provider or a message window calling back into it).
inline constexpr const char* kExpressionInUse = "Expression is being evaluated.";

// The ErrorCode of a failed parse; while it stands no further text is scanned.
inline constexpr std::int32_t kParseErrorCode = 65536;

class TEvalExpression {
 public:
  TEvalExpression();
  virtual ~TEvalExpression();
  TEvalExpression(const TEvalExpression&) = delete;
  TEvalExpression& operator=(const TEvalExpression&) = delete;

  // Operator list. The expression owns every operator added.
  void AddOperator(std::unique_ptr<TEvalOperator> Op);
  // Index of that operator object, searched from the last; -1 when absent.
  int IndexOfOperator(const TEvalOperator* Op) const;
  // Removes and frees the operator when present.
  void DeleteOperator(const TEvalOperator* Op);
  void ClearOperators();
  // Raises EListError "List index out of bounds (%d)" outside the list.
  TEvalOperator* Operators(int Index) const;
  int OperatorCount() const { return static_cast<int>(OperatorList.size()); }
  // Index of the last operator whose name equals Name exactly; -1 when none.
  int IndexOfOperatorName(std::string_view Name) const;
  // The last operator whose name equals Name exactly, or nullptr.
  TEvalOperator* FindOperator(const std::string& Name) const;
  // An operator of that name exists and is unary.
  bool IsUnaryOperator(const std::string& Name) const;

  // Blanks outside string constants dropped, ASCII letters outside them upper-cased; an
  // unterminated string constant is copied unchanged to the end.
  static std::string NormalizeText(const std::string& Text);
  // Frees the tree and stores the normalised text.
  void SetText(const std::string& Text);
  const std::string& GetText() const { return Text; }

  // Builds and parses the tree of the current text and lays out its evaluation order; false
  // when the parse failed (the error fields then describe the first parse error).
  bool Compile();
  // The value text of the current text. A failed compile is remembered: every Evaluate raises
  // the same parse error until the next SetText.
  std::string Evaluate();
  // Frees the tree and clears the error fields.
  void Reset();

  // The root of the parsed tree, nullptr until the text has been compiled.
  TEvalToken* Root() const { return RootToken.get(); }

  // Not owned; assigned by the owner right after creating the expression.
  TEvalProvider* Provider = nullptr;

  // The last error: "No error" after every reset (empty in a new object), ErrorCode 65536 once
  // a parse has failed, ErrorPosition 1-based in the normalised text (0 after a reset).
  std::string ErrorMessage;
  std::int32_t ErrorCode = 0;
  std::int32_t ErrorPosition = 0;

 private:
  friend class TEvalProgram;
  friend class TEvalTextParser;
  friend class TEvalCompiledTexts;
  void CheckNotEvaluating() const;
  // Compile without laying out the evaluation order: the tree of the current text, or the
  // error fields and CompileError of its first parse error.
  bool ParseText();
  void DropProgram();
  void BuildProgram();
  // The tree of Text parsed level by level from a root token over the whole text.
  bool ParseByLevels();
  static void NormalizeInto(const std::string& Text, std::string& Result);
  [[noreturn]] void RaiseStoredError() const;

  std::vector<std::unique_ptr<TEvalOperator>> OperatorList;
  std::unique_ptr<TEvalToken> RootToken;
  // The evaluation order of the tree; kept between texts (its storage is reused) and valid
  // only while ProgramReady.
  std::unique_ptr<TEvalProgram> Program;
  bool ProgramReady = false;
  // The one-pass parser Compile tries first; kept for its operator table and working lists.
  std::unique_ptr<TEvalTextParser> TextParser;
  std::string Text;
  // The error of a failed compile, message and position, raised again by every Evaluate.
  std::string CompileError;
  bool CompileFailed = false;
  bool Evaluating = false;
};
