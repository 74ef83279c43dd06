#pragma once

// The compiled texts of an owner that evaluates many expression texts again and again (the
// engine's conditions, actions, answer values and bounds).
//
// Each text is compiled once, on its first evaluation, and kept as a frozen program: its steps,
// its own copies of the texts they name, and a memory per variable of the last short text read.
// Every later evaluation runs that program and asks the provider for the current values again.
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
  TEvalFrozenProgram* Find(std::string_view Key, std::size_t Hash) const;
  // Room for one more kept program of at most BlockBytes in its block and TextBytes beside it.
  bool Fits(std::size_t BlockBytes, std::size_t TextBytes) const;
  void Keep(TEvalFrozenProgram* Frozen);
  // The table's size once it holds Count programs.
  std::size_t TableSizeFor(std::size_t Count) const;

  // The kept programs by the hash of their text: open addressing over a power-of-two table at
  // most half full, with each program's hash beside it (nullptr in a free slot), so that
  // neither a probe nor a growing table reads the programs it passes. Their blocks are in
  // Store; KeptTextBytes is the heap their long texts hold beside.
  struct Slot {
    std::size_t Hash;
    TEvalFrozenProgram* Frozen;
  };
  std::vector<Slot> Table;
  std::size_t KeptCount = 0;
  TEvalBlockStore Store;
  std::size_t KeptTextBytes = 0;
  std::size_t ByteBound;
  std::vector<std::unique_ptr<Level>> Levels;
  std::size_t Depth = 0;
};
