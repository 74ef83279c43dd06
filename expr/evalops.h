#pragma once

// How the standard operators read their operands, shared by the operators' text forms and the
// evaluator's number path, so that both read every operand text the same way.

#include <string>

namespace eval_operands {

// An arithmetic operand as a number: a float text (every decimal integer text and the empty
// text among them) as it reads, a string constant through its float conversion; "Invalid
// typecast." otherwise.
long double Arithmetic(const std::string& text);
// A logic operand as a truth value; "Invalid type cast." when it is none.
bool Logic(const std::string& text);
// A comparison's left operand that chooses text mode (the empty text or a string constant).
bool ChoosesTexts(const std::string& left);
// A comparison's operands in number mode: the left one must be a float text, the right one a
// float text, the empty text (0) or a string constant; "Invalid type cast." otherwise.
long double CompareLeft(const std::string& left);
long double CompareRight(const std::string& right);

}  // namespace eval_operands
