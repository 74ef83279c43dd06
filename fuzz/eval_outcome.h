#pragma once

// The outcome of one evaluation in the differential targets, compared whole between two ways of
// evaluating the same text.

#include <cstdint>
#include <string>

#include "expr/eval.h"
#include "platform/errors.h"

// The result text, or "!" and the message raised; what the provider logged; the error fields the
// evaluation left.
template <class Log>
struct EvalOutcome {
  std::string Text;
  Log ProviderLog;
  std::string ErrorMessage;
  std::int32_t ErrorPosition;
  bool operator==(const EvalOutcome&) const = default;
};

// Runs one evaluation with the provider's log and the expression's error fields cleared first.
template <class Provider, class Run>
EvalOutcome<decltype(Provider::Log)> Evaluated(TEvalExpression& expression, Provider& provider,
                                               Run run) {
  provider.Log.clear();
  expression.ErrorMessage = kNoError;
  expression.ErrorPosition = 0;
  EvalOutcome<decltype(Provider::Log)> outcome;
  try {
    outcome.Text = run();
  } catch (const Exception& e) {
    outcome.Text = std::string("!") + e.what();
  }
  outcome.ProviderLog = provider.Log;
  outcome.ErrorMessage = expression.ErrorMessage;
  outcome.ErrorPosition = expression.ErrorPosition;
  return outcome;
}
