#pragma once

// The compiled texts of an owner that evaluates many expression texts again and again (the
// engine's conditions, actions, answer values and bounds).
//
// A text's first evaluation parses it, lays out its program and runs it, as SetText and
// Evaluate on one expression do, and only a mark of the text stays. Its second compiles it again
// and keeps it as a frozen program: its steps, its own copies of the texts they name, and a
// memory per variable of the last short text read. Every later evaluation runs that program and
// asks the provider for the current values again.
// A compile costs less than the expression's own: a text that the one-pass parser takes is
// parsed into a flat tree, which makes no token and no string, and the program is laid out from
// that; any other text is parsed as the expression parses it, with the same errors. The working
// lists of a compile are kept for the next one up to a bound, and a large text in them goes back
// once the evaluation is over.
// All texts share one standard expression: the twelve operators, the parser with its tables and
// the working storage of the runs. What a text keeps grows with the text, not with the values it
// reads, and all kept texts together stay within a bound of bytes: a text that comes once they
// are full is compiled at each evaluation, as SetText and Evaluate on one expression would, and
// the texts kept go on being kept.
//
// A provider may evaluate through the same cache while it is being called (each nesting level
// has its own expression and storage); the one text being evaluated then raises "Expression is
// being evaluated.", as the expression object does.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/eval.h"
#include "expr/evalimpl.h"

class TEvalCompiledTexts {
 public:
  // Kept texts hold at most MaxBytes.
  explicit TEvalCompiledTexts(std::size_t MaxBytes = kMaxBytes);
  ~TEvalCompiledTexts();
  TEvalCompiledTexts(const TEvalCompiledTexts&) = delete;
  TEvalCompiledTexts& operator=(const TEvalCompiledTexts&) = delete;

  // The value text of Text, or the error it raises, exactly as SetText(Text) and Evaluate on a
  // new standard expression whose provider is Provider give them, with the same questions to
  // the provider in the same order. A text that fails to compile raises the same error
  // (message and position) at every evaluation.
  std::string Evaluate(const std::string& Text, TEvalProvider* Provider);

  // The texts kept compiled, and the heap they hold.
  std::size_t Count() const { return KeptCount; }
  std::size_t Bytes() const;
  // Drops every kept text; "Expression is being evaluated." during an evaluation.
  void Clear();

  // The bound of Bytes() unless another is given.
  static constexpr std::size_t kMaxBytes = std::size_t{8} << 20;

 private:
  // One nesting level of evaluations: the expression that compiles and runs there, and the
  // program whose storage the runs use.
  struct Level;
  // The kept programs and the marks of texts evaluated once, by the hash of their text: open
  // addressing over a power-of-two table at most half full. A slot holds the hash (never 0; 0
  // in a free slot) and the program, nullptr for a mark, so that neither a probe nor a growing
  // table reads the programs it passes. A mark answers for any text of its hash: another text
  // of that hash is kept at its first evaluation. The programs' blocks are in Store;
  // KeptTextBytes is the heap their long texts hold beside.
  struct Slot {
    std::size_t Hash;
    TEvalFrozenProgram* Frozen;
  };
  // The slot of Key: its program, its mark, or the free slot that ends the probe; nullptr while
  // the table is empty.
  Slot* Find(std::string_view Key, std::size_t Hash);
  // Room for one more kept program of at most BlockBytes in its block and TextBytes beside it,
  // with NewSlots more slots in use.
  bool Fits(std::size_t BlockBytes, std::size_t TextBytes, std::size_t NewSlots) const;
  // The mark of a first evaluation, when it fits.
  void Mark(std::size_t Hash);
  // Frozen in the slot of its text's mark.
  void Keep(Slot& Marked, TEvalFrozenProgram* Frozen);
  // The table's size once Count slots are in use.
  std::size_t TableSizeFor(std::size_t Count) const;

  std::vector<Slot> Table;
  std::size_t KeptCount = 0;
  std::size_t UsedSlots = 0;
  TEvalBlockStore Store;
  std::size_t KeptTextBytes = 0;
  std::size_t ByteBound;
  std::vector<std::unique_ptr<Level>> Levels;
  std::size_t Depth = 0;
};
