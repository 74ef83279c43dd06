// The compiled texts: frozen programs by their text, run on one expression per nesting level.

#include "expr/evalcache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "expr/evalimpl.h"
#include "platform/errors.h"

struct TEvalCompiledTexts::Level {
  Level() : Expression(CreateStandardExpression()) {
    // Nothing changes the operators of the levels' own expressions: the parser takes its table
    // of them once.
    Expression->TextParser = std::make_unique<TEvalTextParser>();
    Expression->TextParser->FixedOperators = true;
  }
  std::unique_ptr<TEvalExpression> Expression;
  // The flat tree of the text being compiled, when the one-pass parser takes it.
  TEvalFlatTree Tree;
  TEvalProgram Runner;
  // The flat tree and the program's copies of its texts once they are no longer used: what grew
  // beyond the bounds of what a compile keeps for the next one.
  void GiveBackLarge() {
    if (Tree.Nodes.capacity() > TEvalProgram::kKeptFlatNodes)
      std::vector<TEvalFlatTree::Node>().swap(Tree.Nodes);
    Runner.GiveBackFlatTexts();
  }
  // The text this level evaluates without keeping it, while it does.
  const std::string* Unkept = nullptr;
};

namespace {

// One more nesting level for the lifetime of the scope.
class NestedScope {
 public:
  explicit NestedScope(std::size_t& depth) : Depth(depth) { ++Depth; }
  ~NestedScope() { --Depth; }
  NestedScope(const NestedScope&) = delete;
  NestedScope& operator=(const NestedScope&) = delete;

 private:
  std::size_t& Depth;
};

constexpr std::size_t kFirstTableSize = 64;

}  // namespace

TEvalCompiledTexts::TEvalCompiledTexts(std::size_t MaxBytes) : ByteBound(MaxBytes) {}

TEvalCompiledTexts::~TEvalCompiledTexts() {
  for (const Slot& slot : Table) TEvalFrozenProgram::Destroy(slot.Frozen);
}

void TEvalCompiledTexts::Clear() {
  if (Depth > 0) throw Exception(kExpressionInUse);
  for (const Slot& slot : Table) TEvalFrozenProgram::Destroy(slot.Frozen);
  std::vector<Slot>().swap(Table);
  Store.Clear();
  KeptCount = 0;
  UsedSlots = 0;
  KeptTextBytes = 0;
}

std::size_t TEvalCompiledTexts::Bytes() const {
  return Store.Bytes() + KeptTextBytes + Table.capacity() * sizeof(Slot);
}

TEvalCompiledTexts::Slot* TEvalCompiledTexts::Find(std::string_view Key, std::size_t Hash) {
  if (Table.empty()) return nullptr;
  const std::size_t mask = Table.size() - 1;
  for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
    Slot& slot = Table[i];
    if (slot.Hash == 0) return &slot;
    if (slot.Hash == Hash && (!slot.Frozen || slot.Frozen->Key() == Key)) return &slot;
  }
}

std::size_t TEvalCompiledTexts::TableSizeFor(std::size_t Count) const {
  std::size_t size = std::max(Table.size(), kFirstTableSize);
  while (Count * 2 > size) size *= 2;
  return size;
}

bool TEvalCompiledTexts::Fits(std::size_t BlockBytes, std::size_t TextBytes,
                              std::size_t NewSlots) const {
  const std::size_t table = TableSizeFor(UsedSlots + NewSlots) * sizeof(Slot);
  return Store.Bytes() + Store.BytesFor(BlockBytes) + KeptTextBytes + TextBytes + table <=
         ByteBound;
}

void TEvalCompiledTexts::Mark(std::size_t Hash) {
  if (!Fits(0, 0, 1)) return;
  const std::size_t size = TableSizeFor(UsedSlots + 1);
  if (size != Table.size()) {
    std::vector<Slot> grown(size, Slot{0, nullptr});
    for (const Slot& slot : Table) {
      if (slot.Hash == 0) continue;
      std::size_t i = slot.Hash & (size - 1);
      while (grown[i].Hash != 0) i = (i + 1) & (size - 1);
      grown[i] = slot;
    }
    Table.swap(grown);
  }
  const std::size_t mask = Table.size() - 1;
  std::size_t i = Hash & mask;
  while (Table[i].Hash != 0) i = (i + 1) & mask;
  Table[i] = Slot{Hash, nullptr};
  ++UsedSlots;
}

void TEvalCompiledTexts::Keep(Slot& Marked, TEvalFrozenProgram* Frozen) {
  Marked.Frozen = Frozen;
  ++KeptCount;
  KeptTextBytes += Frozen->TextBytes();
}

std::string TEvalCompiledTexts::Evaluate(const std::string& Text, TEvalProvider* Provider) {
  if (Levels.size() <= Depth) Levels.push_back(std::make_unique<Level>());
  Level& level = *Levels[Depth];
  const NestedScope nested(Depth);
  TEvalExpression& expression = *level.Expression;
  expression.Provider = Provider;

  const std::string_view key(Text);
  const std::size_t hash = TextHash(key);
  Slot* const slot = Find(key, hash);
  if (slot && slot->Frozen) {
    TEvalFrozenProgram& frozen = *slot->Frozen;
    if (frozen.Failed()) throw Exception(std::string(frozen.Error()));
    return level.Runner.Run(expression, frozen);
  }

  // A text that an outer level evaluates without keeping it is in use, as a kept one would be.
  for (std::size_t i = 0; i + 1 < Depth; ++i) {
    const std::string* unkept = Levels[i]->Unkept;
    if (unkept && *unkept == Text) throw Exception(kExpressionInUse);
  }
  // The first evaluation of a text compiles and runs it, and only a mark of the text stays. The
  // second keeps the compiled program.
  Slot* const marked = slot && slot->Hash != 0 ? slot : nullptr;
  expression.SetText(Text);
  // A text that the one-pass parser takes is laid out from its flat tree, without tokens; any
  // other is parsed as the expression parses it, with its errors.
  if (expression.ErrorCode == 0 &&
      expression.TextParser->ParseFlat(expression, expression.Text, level.Tree)) {
    level.Runner.Build(level.Tree, expression);
  } else {
    level.GiveBackLarge();
    if (!expression.ParseText()) {
      const std::string error = expression.CompileError;
      if (!marked) {
        Mark(hash);
      } else if (Fits(TEvalFrozenProgram::FailedBlockBytes(error, Text), 0, 0)) {
        Keep(*marked, TEvalFrozenProgram::MakeFailed(error, Text, hash, Store));
      }
      throw Exception(error);
    }
    level.Runner.Build(*expression.Root(), expression);
  }
  if (marked) {
    std::size_t textBytes = 0;
    const std::size_t blockBytes =
        TEvalFrozenProgram::MostBlockBytes(level.Runner, Text, textBytes);
    if (Fits(blockBytes, textBytes, 0)) {
      TEvalFrozenProgram* frozen = TEvalFrozenProgram::Make(level.Runner, Text, hash, Store);
      Keep(*marked, frozen);
      // The frozen program has its own texts: a tree and large copies go at once.
      if (expression.Root()) expression.Reset();
      level.GiveBackLarge();
      return level.Runner.Run(expression, *frozen);
    }
  } else {
    Mark(hash);
  }
  // Compiled for this evaluation only, on the tree or the program's copies of the flat tree's
  // texts, which go back when it ends.
  struct Unkept {
    const std::string*& Text;
    Level& Owner;
    ~Unkept() {
      Text = nullptr;
      Owner.GiveBackLarge();
    }
  } unkept{level.Unkept, level};
  level.Unkept = &Text;
  return level.Runner.Run(expression);
}
