// The compiled texts: frozen programs by their text, run on one expression per nesting level.

#include "expr/evalcache.h"

#include <algorithm>
#include <functional>
#include <string>

#include "expr/evalimpl.h"
#include "platform/errors.h"

struct TEvalCompiledTexts::Level {
  Level() : Expression(CreateStandardExpression()) {}
  std::unique_ptr<TEvalExpression> Expression;
  TEvalProgram Runner;
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
  KeptTextBytes = 0;
}

std::size_t TEvalCompiledTexts::Bytes() const {
  return Store.Bytes() + KeptTextBytes + Table.capacity() * sizeof(Slot);
}

TEvalFrozenProgram* TEvalCompiledTexts::Find(std::string_view Key, std::size_t Hash) const {
  if (Table.empty()) return nullptr;
  const std::size_t mask = Table.size() - 1;
  for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = Table[i];
    if (!slot.Frozen || (slot.Hash == Hash && slot.Frozen->Key() == Key)) return slot.Frozen;
  }
}

std::size_t TEvalCompiledTexts::TableSizeFor(std::size_t Count) const {
  std::size_t size = std::max(Table.size(), kFirstTableSize);
  while (Count * 2 > size) size *= 2;
  return size;
}

bool TEvalCompiledTexts::Fits(std::size_t BlockBytes, std::size_t TextBytes) const {
  const std::size_t table = TableSizeFor(KeptCount + 1) * sizeof(Slot);
  return Store.Bytes() + Store.BytesFor(BlockBytes) + KeptTextBytes + TextBytes + table <=
         ByteBound;
}

void TEvalCompiledTexts::Keep(TEvalFrozenProgram* Frozen) {
  const std::size_t size = TableSizeFor(KeptCount + 1);
  if (size != Table.size()) {
    std::vector<Slot> grown;
    try {
      grown.assign(size, Slot{0, nullptr});
    } catch (...) {
      TEvalFrozenProgram::Destroy(Frozen);
      throw;
    }
    for (const Slot& slot : Table) {
      if (!slot.Frozen) continue;
      std::size_t i = slot.Hash & (size - 1);
      while (grown[i].Frozen) i = (i + 1) & (size - 1);
      grown[i] = slot;
    }
    Table.swap(grown);
  }
  const std::size_t mask = Table.size() - 1;
  std::size_t i = Frozen->KeyHash() & mask;
  while (Table[i].Frozen) i = (i + 1) & mask;
  Table[i] = Slot{Frozen->KeyHash(), Frozen};
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
  const std::size_t hash = std::hash<std::string_view>()(key);
  if (TEvalFrozenProgram* frozen = Find(key, hash)) {
    if (frozen->Failed()) throw Exception(std::string(frozen->Error()));
    return level.Runner.Run(expression, *frozen);
  }

  // A text that an outer level evaluates without keeping it is in use, as a kept one would be.
  for (std::size_t i = 0; i + 1 < Depth; ++i) {
    const std::string* unkept = Levels[i]->Unkept;
    if (unkept && *unkept == Text) throw Exception(kExpressionInUse);
  }
  expression.SetText(Text);
  if (!expression.ParseText()) {
    const std::string error = expression.CompileError;
    if (Fits(TEvalFrozenProgram::FailedBlockBytes(error, Text), 0))
      Keep(TEvalFrozenProgram::MakeFailed(error, Text, hash, Store));
    throw Exception(error);
  }
  level.Runner.Build(*expression.Root(), expression);
  std::size_t textBytes = 0;
  const std::size_t blockBytes = TEvalFrozenProgram::MostBlockBytes(level.Runner, Text, textBytes);
  if (Fits(blockBytes, textBytes)) {
    TEvalFrozenProgram* frozen = TEvalFrozenProgram::Make(level.Runner, Text, hash, Store);
    Keep(frozen);
    // The frozen program has its own texts: the tree goes at once.
    expression.Reset();
    return level.Runner.Run(expression, *frozen);
  }
  // Beyond the bound: compiled for this evaluation only, on the tree.
  struct Unkept {
    const std::string*& Text;
    ~Unkept() { Text = nullptr; }
  } unkept{level.Unkept};
  level.Unkept = &Text;
  return level.Runner.Run(expression);
}
