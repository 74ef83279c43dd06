#pragma once

// The expression language itself: the lexical scanners, the parser with its syntax tree, the
// compiled evaluation order of a tree and the twelve standard operators.
//
// Parsing works one level at a time. A token's text is split into alternating operand and
// operator parts (brackets and unary operators fold into their operand part); the operator of
// lowest priority becomes the token, every operand part an unparsed child parsed in turn.
// Compile first tries TEvalTextParser, which builds that same tree in one pass over the text,
// and parses level by level whatever it leaves. The tree is then laid out once as a postfix
// sequence that Evaluate walks without recursion, so neither a long operator chain nor a deep
// tree can exhaust the stack; brackets and unary chains are bounded at kMaxNesting levels.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expr/eval.h"
#include "expr/typecvt.h"

// ---------------------------------------------------------------------------------------------
// Lexical scanners. Positions are 1-based; every scanner reads at Pos, advances it past what it
// scanned (length + 1 at the end) and answers the scanned text.

// Scanner messages (byte-exact).
inline constexpr const char* kInvalidPosition = "Invalid position specified.";
inline constexpr const char* kNoIdentifier = "No identifier found at the specified position.";
inline constexpr const char* kNoNumber = "No numeric constant found at the specified position.";
inline constexpr const char* kOneDecimalSeparator = "Only one decimal separator allowed.";
inline constexpr const char* kNoStringConstant =
    "No string constant found at the specified position.";
inline constexpr const char* kUnterminatedString = "Unterminated string constant.";

// The run of blanks (tab, space) at Pos; nothing when Pos is below 1 or past the end.
std::string ReadWhitespace(const std::string& Text, int& Pos);
// One identifier.
std::string ReadIdentifier(const std::string& Text, int& Pos);
// One numeric constant: digits and at most one ".", no sign, no exponent.
std::string ReadNumber(const std::string& Text, int& Pos);
// One string constant, raw (both quotes and every backslash kept).
std::string ReadStringConstant(const std::string& Text, int& Pos);
// One sub-expression up to the first top-level "," or ")" (not consumed) or the end; commas
// inside brackets belong to it. A bracket the text ends inside is returned as far as it goes.
std::string ReadExpressionPart(const std::string& Text, int& Pos);
// The parameters of a call from just after its "(" up to the matching ")" (not consumed) or the
// end, commas and blanks included.
std::string ReadParameterList(const std::string& Text, int& Pos);

// ---------------------------------------------------------------------------------------------
// Parser messages (byte-exact).
inline constexpr const char* kInvalidOffset = "Invalid offset.";
inline constexpr const char* kUnclosedBrackets = "Unclosed brackets.";
inline constexpr const char* kUnterminatedParams = "Unterminated list of parameters.";
inline constexpr const char* kUnexpectedCharacter = "Unexpected character.";
inline constexpr const char* kMisplacedOperator = "Misplaced operator.";
inline constexpr const char* kExpectingBinary = "Expecting binary operator.";
inline constexpr const char* kOperatorWithoutOperand =
    "Unterminated expression - operator without operand";
inline constexpr const char* kCannotDetermineToken = "Cannot determine token type.";
inline constexpr const char* kInvalidCharacter = "Invalid character.";
inline constexpr const char* kInvalidTokenOrder = "Invalid token order.";
inline constexpr const char* kTooDeeplyNested = "Expression is too deeply nested.";
// Evaluation messages of tokens; the first three are followed by the name in double quotes.
inline constexpr const char* kUndefinedOperator = "Undefined operator: ";
inline constexpr const char* kInvalidOperatorCall = "Invalid operator call: ";
inline constexpr const char* kInvalidVariableNamePrefix = "Invalid variable name: ";
inline constexpr const char* kInvalidFunctionNamePrefix = "Invalid function name: ";
inline constexpr const char* kNoProvider = "Function and variable provider is not available.";
// Messages of the standard operators: arithmetic operands, logic and comparison operands.
inline constexpr const char* kArithmeticTypecast = kInvalidTypecast;
inline constexpr const char* kLogicTypecast = "Invalid type cast.";

// An error message with the position it stands at, as the expression's errors are raised.
std::string PositionedMessage(const std::string& Message, std::int32_t Position);

// Brackets (grouping and call brackets) and unary operators may enclose a point of the text at
// most this many levels deep.
inline constexpr int kMaxNesting = 256;

// ---------------------------------------------------------------------------------------------
// Operators. Created and owned by the expression's operator list.
class TEvalOperator {
 public:
  explicit TEvalOperator(TEvalExpression* Expression) : Expression(Expression) {}
  virtual ~TEvalOperator() = default;
  TEvalOperator(const TEvalOperator&) = delete;
  TEvalOperator& operator=(const TEvalOperator&) = delete;

  // Result arrives empty.
  virtual void EvaluateBinary(const std::string& Left, const std::string& Right,
                              std::string& Result) = 0;
  virtual void EvaluateUnary(const std::string& Value, std::string& Result) = 0;

  TEvalExpression* Expression;  // not owned
  std::string Name;             // the symbol, matched exactly
  bool Binary = false;          // may stand between two operands
  bool Unary = false;           // may stand before one operand
  std::int32_t Priority = 0;    // the lower, the more loosely the operator binds

 protected:
  // For descendants that fix their shape at construction.
  TEvalOperator(TEvalExpression* Expression, std::string Name, bool Binary, bool Unary,
                std::int32_t Priority)
      : Expression(Expression),
        Name(std::move(Name)),
        Binary(Binary),
        Unary(Unary),
        Priority(Priority) {}
};

// ---------------------------------------------------------------------------------------------
// Syntax tree.

enum TEvalTokenKind : std::uint8_t {
  tkOperator = 0,
  tkConstant = 1,
  tkVariable = 2,
  tkFunction = 3,
  tkUnparsed = 4,
};

class TEvalParser;

// One scanned part of a token's text. A plain value record held by value in its parser.
struct TEvalPart {
  TEvalParser* Parser = nullptr;
  bool IsOperator = false;  // read in operator position
  std::string Text;
  std::int32_t Position = 0;
  // The part was a bracket whose brackets were stripped (its text is the content).
  bool Bracketed = false;
  // The operator an operator part names.
  TEvalOperator* Operator = nullptr;
};

class TEvalTextParser;

// Under the address sanitizer the expression's own stores of storage keep nothing and every
// block is an allocation of its own, so that a use after free or beyond a block is seen.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// The child lists of tokens: a list of up to kPooledChildren children (every operator's, most
// calls') takes its storage from a per-thread store of freed ones, as the tokens themselves do.
inline constexpr std::size_t kPooledChildren = 4;
void* TakeChildBlock();
void GiveChildBlock(void* Block) noexcept;
template <class T>
struct TChildAllocator {
  using value_type = T;
  TChildAllocator() noexcept = default;
  template <class U>
  TChildAllocator(const TChildAllocator<U>&) noexcept {}
  T* allocate(std::size_t Count) {
    if (Count <= kPooledChildren && sizeof(T) == sizeof(void*))
      return static_cast<T*>(TakeChildBlock());
    return std::allocator<T>().allocate(Count);
  }
  void deallocate(T* Block, std::size_t Count) noexcept {
    if (Count <= kPooledChildren && sizeof(T) == sizeof(void*)) {
      GiveChildBlock(Block);
    } else {
      std::allocator<T>().deallocate(Block, Count);
    }
  }
  friend bool operator==(const TChildAllocator&, const TChildAllocator&) { return true; }
};

// One node of the tree. Text by kind: the text still to parse (tkUnparsed), the operator's name,
// the constant as written, the variable name, the function name without brackets.
class TEvalToken {
 public:
  TEvalToken(TEvalExpression* Expression, TEvalToken* Parent, std::string Text,
             std::int32_t Position);
  // Frees the whole subtree without recursion.
  ~TEvalToken();
  // Tokens are taken from and given back to a per-thread store of freed ones: a compile
  // creates and frees many of them.
  static void* operator new(std::size_t Size);
  static void operator delete(void* Block, std::size_t Size) noexcept;
  TEvalToken(const TEvalToken&) = delete;
  TEvalToken& operator=(const TEvalToken&) = delete;

  // Appends an unparsed child with this token as parent and answers it.
  TEvalToken* AddChild(std::string Text, std::int32_t Position);
  // Searched from the last child; -1 when absent.
  int IndexOfChild(const TEvalToken* Token) const;
  void DeleteChild(const TEvalToken* Token);
  void ClearChildren();
  // Raises EListError "List index out of bounds (%d)" outside the list.
  TEvalToken* Children(int Index) const;
  int ChildCount() const { return static_cast<int>(ChildList.size()); }
  // Appends a deep copy of Source (text, position, kind, children).
  TEvalToken* CloneChild(const TEvalToken& Source);

  // Parses this token's text one level; true at once for a parsed token.
  bool Parse();
  // Parses every child, depth first and left to right; false when any parse failed (the walk
  // goes on; the first failure's message and position stand).
  bool ParseChildren();
  // The value text of this subtree; an unparsed token is parsed first.
  std::string Evaluate();

  TEvalToken* Parent;           // not owned; nullptr for the root
  TEvalExpression* Expression;  // not owned
  TEvalTokenKind Kind = tkUnparsed;
  std::int32_t Position;
  std::string Text;
  // Brackets and unary operators enclosing this token's text.
  int Depth = 0;

 private:
  friend class TEvalParser;
  friend class TEvalTextParser;
  std::vector<std::unique_ptr<TEvalToken>, TChildAllocator<std::unique_ptr<TEvalToken>>> ChildList;
};

// The parser of one token's text. A working object: a token creates one for each parse and
// takes over (moves) the tree it builds.
class TEvalParser {
 public:
  explicit TEvalParser(TEvalToken* Token);
  ~TEvalParser();
  TEvalParser(const TEvalParser&) = delete;
  TEvalParser& operator=(const TEvalParser&) = delete;

  TEvalPart& AddPart(std::string Text, bool IsOperator, std::int32_t Position);
  // Searched from the last part; -1 when absent.
  int IndexOfPart(const TEvalPart* Part) const;
  void DeletePart(const TEvalPart* Part);
  void ClearParts() { PartList.clear(); }
  // Raises EListError "List index out of bounds (%d)" outside the list.
  TEvalPart& Parts(int Index);
  int PartCount() const { return static_cast<int>(PartList.size()); }

  // Reads one part at Pos (1-based in Text). Raises the parse messages; the position of a
  // failure is Pos at the moment it is raised.
  std::string ReadPart(const std::string& Text, int& Pos, bool OperatorMode, bool KeepBrackets);
  // Parses the owner token's text into Result; false (with the expression's error set) on
  // failure. Never raises the parse errors.
  bool Parse();

  void SetErrorMessage(const std::string& Message);
  std::int32_t GetErrorCode() const;
  void SetErrorCode(std::int32_t Code);
  void SetErrorPosition(std::int32_t Position);

  TEvalToken* Token;                   // the owner; not owned
  std::unique_ptr<TEvalToken> Result;  // the token built by the last parse

 private:
  bool Fail(const char* Message, std::int32_t Position);
  bool Classify(TEvalPart& Part, int Depth);
  void BuildTree(int Depth);
  std::string ReadOperand(const std::string& Text, int& Pos, bool KeepBrackets);

  std::vector<TEvalPart> PartList;
  // What the last ReadPart found besides its text.
  bool PartBracketed = false;
  TEvalOperator* PartOperator = nullptr;
};

// The tree that the one-pass parser lays out for an owner that only compiles it (the compiled
// texts): the same nodes, kinds, positions and children as the token tree, in one list and with
// each node's text a range of the parsed text, so that a parse makes no token and no string.
struct TEvalFlatTree {
  struct Node {
    std::int32_t Begin;   // in Text; -1 for the empty string constant of an empty text
    std::int32_t Length;  // of the text
    std::int32_t Position;
    TEvalTokenKind Kind;
    std::int32_t ChildCount;
    std::int32_t FirstChild;  // -1 when none
    std::int32_t LastChild;
    std::int32_t NextSibling;  // -1 for the last child
  };
  // A node's text.
  std::string_view TextOf(const Node& Item) const {
    if (Item.Begin < 0) return "\"\"";
    return {Text + Item.Begin, static_cast<std::size_t>(Item.Length)};
  }
  std::vector<Node> Nodes;
  const char* Text = nullptr;  // the parsed text; not owned
  std::int32_t Root = -1;
  // The parser's stack of operands while it parses into this tree.
  std::vector<std::int32_t> Operands;
};

// The parser of a whole expression text in one pass, used by Compile and the compiled texts. For a
// text that parses without error it builds at once the tree that parsing the root token and then
// its children level by level builds: the same kinds, texts, positions, depths, parents and
// children in the same order. It reads the text in place and copies each token's text once, where
// the level parse copies every operand's text at every level. Anything it does not take on (a text
// that fails, empty brackets, blanks, nesting beyond kFastNesting, an operator list with names of
// other forms) it answers with nullptr, and the caller parses level by level, so that errors,
// their messages and positions come from that parser alone.
class TEvalTextParser {
 public:
  // Levels of brackets, unary operators and calls the one-pass parse follows; deeper texts are
  // left to the level parse, well before its own bound.
  static constexpr int kFastNesting = 96;

  // The parsed tree of Text at position 1 with Expression's operators as they stand, or nullptr.
  std::unique_ptr<TEvalToken> Parse(TEvalExpression& Expression, const std::string& Text);
  // The same parse into Tree, without tokens; false where Parse answers nullptr. Text must
  // outlive the use of Tree.
  bool ParseFlat(TEvalExpression& Expression, const std::string& Text, TEvalFlatTree& Tree);

  // The parser of an expression whose operators never change after its first parse (their
  // list and names): it takes its table of them once instead of comparing them at every parse.
  bool FixedOperators = false;

 private:
  struct Part {
    Part(int Begin, int End, bool Bracketed, TEvalOperator* Operator)
        : Begin(Begin), End(End), Bracketed(Bracketed), Operator(Operator) {}
    Part() : Part(0, 0, false, nullptr) {}
    int Begin;  // 0-based; the content for a bracket part
    int End;
    bool Bracketed;
    TEvalOperator* Operator;  // operator parts
  };
  // What the parse makes its nodes with: tokens, or the nodes of a flat tree.
  struct TokenBuilder;
  struct FlatBuilder;
  // Ready to parse Text with Expression's operators; false when the parse is left to the level
  // parser.
  bool Start(TEvalExpression& Expression, const std::string& Text);
  void Finish();
  // The operators by name as the part reader finds them: every one-character name, "<=", ">=".
  bool TakeOperators(const TEvalExpression& Expression);
  TEvalOperator* OperatorAt(int& Pos, int End) const;
  bool ScanParts(int Begin, int End);
  // Moves Pos past one operand; -1 where the part reader would fail, 1 for a bracket whose
  // brackets are not kept, 0 otherwise.
  int ReadOperand(int& Pos, int End, bool KeepBrackets);
  template <class Builder>
  typename Builder::Node Tree(Builder& Make, int Begin, int End, int Depth);
  template <class Builder>
  typename Builder::Node Single(Builder& Make, const Part& Read, int Depth);
  template <class Builder>
  typename Builder::Node Range(Builder& Make, std::size_t First, int Depth);
  template <class Builder>
  void Reduce(Builder& Make, int Depth);

  TEvalExpression* Expression = nullptr;
  const char* Text = nullptr;
  // The operator list the table was taken from: each operator and its name.
  std::vector<std::pair<const TEvalOperator*, std::string>> Taken;
  bool Handled = false;
  TEvalOperator* ByChar[256] = {};
  TEvalOperator* LessOrEqual = nullptr;
  TEvalOperator* MoreOrEqual = nullptr;
  // Working stacks shared by the levels of one parse.
  std::vector<Part> Parts;
  std::vector<std::unique_ptr<TEvalToken>> Operands;
  std::vector<std::size_t> Operators;
};

class TEvalFrozenProgram;

// The hash of a text, a word at a time, mixed so that its low bits depend on every byte; never 0.
// The compiled texts find their programs by it, and freezing finds equal texts and numbers.
std::size_t TextHash(std::string_view text);

// The evaluation order of a parsed tree laid out as a postfix sequence: right operands before
// left ones, a function's name check before its arguments, each argument left to right. Built
// once per tree (and again when the operator list changes) and run without recursion.
//
// Run carries the results of the standard operators as numbers beside their texts: a result
// is written as a text only where one is needed (a function argument, an operator of another
// class, a comparison of texts, the final value), and the number carried is exactly what
// reading that text would give. Numeric constants are read once, here; a variable remembers
// the last short text it read and its number, with the decimal separator that reading used.
// RunTexts writes every result as a text and reads it again, as the operators do on their
// own: the reference that Run must match text for text and error for error.
//
// A program refers to the tree's texts (or to its own copies of a flat tree's) and to the
// expression's operators by index; a frozen copy of it (TEvalFrozenProgram) keeps its own texts
// and runs on any program's working storage.
class TEvalProgram {
 public:
  // Root must be fully parsed.
  TEvalProgram(const TEvalToken& Root, const TEvalExpression& Expression);
  // An empty program, for Build.
  TEvalProgram();
  // Its view of itself would point into the copy's source.
  TEvalProgram(const TEvalProgram&) = delete;
  TEvalProgram& operator=(const TEvalProgram&) = delete;
  ~TEvalProgram();
  // Lays out the order of Root anew, reusing the storage of the last one.
  void Build(const TEvalToken& Root, const TEvalExpression& Expression);
  // The same order of the same tree laid out flat; the program's texts are its own copies of
  // the nodes' texts, kept until the next Build.
  void Build(const TEvalFlatTree& Tree, const TEvalExpression& Expression);
  std::string Run(TEvalExpression& Expression);
  // Runs Frozen, which was built with an operator list like Expression's, on this program's
  // working storage; this program's own order stays as it is.
  std::string Run(TEvalExpression& Expression, TEvalFrozenProgram& Frozen);
  std::string RunTexts(TEvalExpression& Expression);

  // Variable texts up to this long are remembered with their number, which covers every number
  // text the system writes; a longer text is read anew at every run.
  static constexpr std::size_t kRememberedText = 25;
  // Working strings that grew beyond this are given back after a run, so that no copy of a
  // large value stays behind.
  static constexpr std::size_t kKeptWorkingText = 4096;
  // The copies of a flat tree's texts and the build's list, kept for the next build for trees
  // of up to this many nodes.
  static constexpr std::size_t kKeptFlatNodes = 4096;
  // Gives back the copies of a flat tree's texts where they grew beyond those bounds.
  void GiveBackFlatTexts();

 private:
  friend class TEvalFrozenProgram;
  enum StepKind : std::uint8_t {
    skConstant,
    skVariable,
    skEnter,
    skCall,
    skBinary,
    skUnary,
    skFail
  };
  // The standard operator a step applies, for the number path; opOther for any other class.
  enum Op : std::uint8_t {
    opOther,
    opAdd,
    opSubtract,
    opMultiply,
    opDivide,
    opNot,
    opAnd,
    opOr,
    opMore,
    opLess,
    opEqual,
    opMoreOrEqual,
    opLessOrEqual
  };
  struct Step {
    StepKind Kind;
    Op Standard;            // skBinary, skUnary
    bool HasNumber;         // skConstant: a float text, its reading in Numbers[Index]
    bool Undefined;         // skFail: no operator of that name (otherwise none of that form)
    std::int32_t Position;  // the token's, for the errors
    // skConstant, skVariable, skEnter, skCall, skFail: the step's text (the constant as
    // written, the name) in Texts; skBinary, skUnary: the operator's index in the list.
    std::uint32_t Ref;
    // skConstant with HasNumber: Numbers; skVariable: Memories; skCall: the argument count.
    std::uint32_t Index;
  };
  // What a variable remembers of the last text it read: up to kRememberedText characters, the
  // separator in effect (0: nothing remembered) and the text's reading as a float text. Stamp
  // is the run that last used it: within a run a memory serves one text only.
  struct Memory {
    long double Number;
    char Text[kRememberedText];
    std::uint8_t Length;
    char Separator;
    bool HasNumber;
    std::uint32_t Stamp;
  };
  // A laid-out order, the program's own or a frozen one's: what Run walks.
  struct Code {
    const Step* Steps = nullptr;
    std::size_t StepCount = 0;
    const std::string* const* Texts = nullptr;
    const long double* Numbers = nullptr;
    Memory* Memories = nullptr;
    // The operand stack's depth.
    std::size_t StackSize = 0;
    // Runs so far: each run's stamp on the memories it uses.
    std::uint32_t Runs = 0;
  };
  // One value on the number path's stack. Text is its text, nullptr for an operator's result
  // not written yet (Result holds it; its text is FloatToValueText(Result)). Number points at
  // what reading the text as an arithmetic operand gives, where that is known: a constant's or
  // a variable's reading, a truth's 1 or 0, or Read, the round trip of a result; nullptr until
  // an operator asks. The numbers are read where they were stored long before: an extended
  // value stored and read again at once waits for the store.
  struct Value {
    const std::string* Text;
    const long double* Number;
    long double Result;
    long double Read;
  };
  std::string RunCode(TEvalExpression& Expression, Code& Program);
  class RunScope;
  // Working storage for a stack of Size values; working strings kept to a bounded size.
  void Prepare(std::size_t Size);
  void GiveBackLargeTexts(std::size_t Size);
  // Marks a working string that may have grown beyond kKeptWorkingText.
  void NoteSize(const std::string& Text) {
    if (Text.size() > kKeptWorkingText) LargeTexts = true;
  }
  [[noreturn]] static void Raise(TEvalExpression& Expression, const std::string& Message,
                                 std::int32_t Position);
  static Op StandardOf(const TEvalOperator& Operator, bool Binary);
  // The number a variable's text reads as, through its memory (a copy in Value where the memory
  // serves another text of this run); nullptr for a text that is no float text.
  static const long double* VariableNumber(Memory& Memory, const std::string& Text,
                                           std::uint32_t Run, Value& Value);
  // The error of a name step (an unknown variable or function, a failing operator check).
  [[noreturn, gnu::noinline]] static void RaiseNamed(TEvalExpression& Expression, const Step& Step,
                                                     const std::string& Name);
  // A call step over the Top stack values and an operator of another class than the standard
  // ones: each answers the new top.
  [[gnu::noinline]] std::size_t Call(TEvalExpression& Expression, const Step& Step,
                                     const std::string& Name, std::size_t Top);
  [[gnu::noinline]] std::size_t ApplyOther(TEvalExpression& Expression, const Step& Step,
                                           std::size_t Top, std::string*& Spare);
  // The text of stack position Index, written into its slot string when it is not there yet.
  const std::string& TextOf(std::size_t Index);
  // The operand at Index as an arithmetic number (NumberOfOther where it carries none: its text
  // read, or a result's round trip) and as a comparison's left or right operand in number mode.
  long double NumberOf(std::size_t Index);
  long double NumberOfOther(std::size_t Index);
  long double CompareOperand(std::size_t Index, bool Left);
  bool TruthOf(std::size_t Index);
  void SetTruth(std::size_t Index, bool Truth);
  // A standard arithmetic operator's result, and its storing at stack position Index (one its
  // operands leave free); the last step writes its text at once.
  static long double Computed(Op Standard, long double Left, long double Right);
  void Store(long double Number, std::size_t Index, bool Last);
  // The same where an operand carries no number: Left and Right are stack positions (Left
  // kNoOperand for the "0" of a unary form), the result goes to Right.
  static constexpr std::size_t kNoOperand = ~std::size_t{0};
  void ApplyArithmeticOther(Op Standard, std::size_t Left, std::size_t Right, bool Last);
  // The truth of a standard comparison of two texts or two numbers.
  template <typename T>
  static bool Compared(Op Standard, const T& a, const T& b);
  void ApplyComparison(Op Standard, std::size_t Left, std::size_t Right, std::size_t Result);

  // The order Build laid out: the steps, the texts they refer to (in the tree), the readings
  // of the numeric constants, one memory per variable step; Own is the view of them.
  std::vector<Step> Steps;
  std::vector<const std::string*> Texts;
  std::vector<long double> Numbers;
  std::vector<Memory> Memories;
  Code Own;
  // Working storage of the runs. Result and variable strings, reused between runs: one per
  // stack position and a spare one that takes each operator's result. Slots maps a stack
  // position to its string (an operator's result trades places with the spare instead of being
  // copied).
  std::vector<std::string> Values;
  std::vector<std::string*> Slots;
  // The operand stack of RunTexts: a constant's own text in the tree, otherwise the string of
  // its slot.
  std::vector<const std::string*> Operands;
  // The operand stack of Run.
  std::vector<Value> Stack;
  // A working string of this run may have grown beyond kKeptWorkingText.
  bool LargeTexts = false;
  // Build's working lists, for a tree of tokens and for a flat one.
  template <class Node>
  struct Pending {
    Pending(Node Token, int Operator, bool Expanded)
        : Token(Token), Operator(Operator), Expanded(Expanded) {}
    Node Token;
    int Operator;  // an expanded operator token's operator, by its index in the list
    bool Expanded;
  };
  std::vector<Pending<const TEvalToken*>> Work;
  // What a build from a flat tree works with: its list, and the texts of the program, one
  // string per node (one of them may have grown beyond kKeptWorkingText). Made at the first
  // such build.
  struct FlatLists {
    std::vector<Pending<std::int32_t>> Work;
    std::vector<std::string> Texts;
    bool LargeTexts = false;
  };
  std::unique_ptr<FlatLists> Flat;
  template <class View>
  void BuildFrom(const View& Tree, const TEvalExpression& Expression);
  struct TokenView;
  struct FlatView;
  // TEvalFrozenProgram::Make's working lists for a large program.
  struct FreezeLists;
  std::unique_ptr<FreezeLists> Freezing;
};

// The storage that frozen programs are made in: blocks that are given back all together. Small
// blocks are cut from chunks (of 4 KB at first, growing with what is held up to 64 KB); a large
// one, and under the address sanitizer every one, is an allocation of its own.
class TEvalBlockStore {
 public:
  TEvalBlockStore() = default;
  ~TEvalBlockStore() { Clear(); }
  TEvalBlockStore(const TEvalBlockStore&) = delete;
  TEvalBlockStore& operator=(const TEvalBlockStore&) = delete;

  // A block of Size bytes aligned for any object.
  void* Take(std::size_t Size);
  // What Take(Size) would add to Bytes().
  std::size_t BytesFor(std::size_t Size) const;
  // The heap held.
  std::size_t Bytes() const { return Held; }
  void Clear();

 private:
  // Each allocation with its size.
  std::vector<std::pair<void*, std::size_t>> Allocations;
  char* Next = nullptr;
  std::size_t Left = 0;
  std::size_t Held = 0;
};

// A built program laid out in one block together with the text it was compiled from, or the
// error that text failed to compile with: what the cache of compiled texts keeps of a text. Its
// texts are its own copies (one of each distinct text), its numbers one of each value, and it
// has one memory per variable name. It runs on another program's working storage
// (TEvalProgram::Run), with the operators of an expression like the one it was built with.
class TEvalFrozenProgram {
 public:
  // The frozen copy of Built under Key (whose hash is Hash), or of a failed compile's error
  // (message and position), in a block of Store. Built keeps the working lists of the freezing.
  static TEvalFrozenProgram* Make(TEvalProgram& Built, std::string_view Key, std::size_t Hash,
                                  TEvalBlockStore& Store);
  static TEvalFrozenProgram* MakeFailed(const std::string& Error, std::string_view Key,
                                        std::size_t Hash, TEvalBlockStore& Store);
  // At least the size of the block that Make(Built, Key) takes, and at least the TextBytes()
  // of the frozen program, without making it.
  static std::size_t MostBlockBytes(const TEvalProgram& Built, std::string_view Key,
                                    std::size_t& MostTextBytes);
  static std::size_t FailedBlockBytes(const std::string& Error, std::string_view Key);
  // Ends its life; its block goes with its store.
  static void Destroy(TEvalFrozenProgram* Frozen);
  TEvalFrozenProgram(const TEvalFrozenProgram&) = delete;
  TEvalFrozenProgram& operator=(const TEvalFrozenProgram&) = delete;

  std::string_view Key() const { return {KeyText, KeyLength}; }
  std::size_t KeyHash() const { return Hash; }
  bool Failed() const { return ErrorLength > 0; }
  // The failed compile's error.
  std::string_view Error() const { return {KeyText + KeyLength, ErrorLength}; }
  // The heap its long texts hold beside its block.
  std::size_t TextBytes() const { return TextHeap; }

  // A run of it is under way.
  bool Running = false;

 private:
  friend class TEvalProgram;
  TEvalFrozenProgram() = default;
  ~TEvalFrozenProgram() = default;
  TEvalProgram::Code View;
  std::string* OwnTexts = nullptr;
  std::size_t TextCount = 0;
  std::size_t TextHeap = 0;
  const char* KeyText = nullptr;
  std::size_t KeyLength = 0;
  std::size_t ErrorLength = 0;
  std::size_t Hash = 0;
};

// ---------------------------------------------------------------------------------------------
// The twelve standard operators.

class TPlusOperator : public TEvalOperator {
 public:
  explicit TPlusOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TMinusOperator : public TEvalOperator {
 public:
  explicit TMinusOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TMultiplyOperator : public TEvalOperator {
 public:
  explicit TMultiplyOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TDivideOperator : public TEvalOperator {
 public:
  explicit TDivideOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TNotOperator : public TEvalOperator {
 public:
  explicit TNotOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TAndOperator : public TEvalOperator {
 public:
  explicit TAndOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

class TOrOperator : public TEvalOperator {
 public:
  explicit TOrOperator(TEvalExpression* Expression);
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
};

// The comparisons: the left operand chooses between text and number mode.
class TCompareOperator : public TEvalOperator {
 public:
  // Binary, priority 2; the descendants give the name.
  explicit TCompareOperator(TEvalExpression* Expression, std::string Name = std::string());
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override;
  void EvaluateUnary(const std::string& Value, std::string& Result) override;
  // A is the left operand; texts compare byte-wise as unsigned codes.
  virtual bool CompareStrings(const std::string& A, const std::string& B) = 0;
  virtual bool CompareNumbers(long double A, long double B) = 0;
};

class TMoreOperator : public TCompareOperator {
 public:
  explicit TMoreOperator(TEvalExpression* Expression);
  bool CompareStrings(const std::string& A, const std::string& B) override;
  bool CompareNumbers(long double A, long double B) override;
};

class TLessOperator : public TCompareOperator {
 public:
  explicit TLessOperator(TEvalExpression* Expression);
  bool CompareStrings(const std::string& A, const std::string& B) override;
  bool CompareNumbers(long double A, long double B) override;
};

class TEqualOperator : public TCompareOperator {
 public:
  explicit TEqualOperator(TEvalExpression* Expression);
  bool CompareStrings(const std::string& A, const std::string& B) override;
  bool CompareNumbers(long double A, long double B) override;
};

class TMoreOrEqualOperator : public TCompareOperator {
 public:
  explicit TMoreOrEqualOperator(TEvalExpression* Expression);
  bool CompareStrings(const std::string& A, const std::string& B) override;
  bool CompareNumbers(long double A, long double B) override;
};

class TLessOrEqualOperator : public TCompareOperator {
 public:
  explicit TLessOrEqualOperator(TEvalExpression* Expression);
  bool CompareStrings(const std::string& A, const std::string& B) override;
  bool CompareNumbers(long double A, long double B) override;
};

// A new expression with the twelve standard operators, in the order + - * / ~ & | > < = >= <=,
// and no provider. The caller owns it and assigns its provider.
std::unique_ptr<TEvalExpression> CreateStandardExpression();
