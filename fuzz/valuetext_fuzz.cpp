// Value texts and the message formatter on arbitrary bytes: nothing may crash, and every
// conversion result must itself be a valid text of its target type. The number writer is held
// to the reference that writes from the standard library's printed digits, on the value a text
// reads as, on that value times a ten-digit factor (products of measured values take all the
// digits a text shows) and on the first ten bytes of the text taken as an extended value; the
// number carried for a written text must be the one reading it gives.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/format.h"
#include "expr/typecvt.h"
#include "fuzz/fuzz_input.h"
#include "platform/errors.h"
#include "tests/support/value_text_reference.h"

namespace {

// The writer against the reference, for a value in the canonical form that arithmetic gives
// (an unnormal bit pattern is no value the system computes) and within the double range.
void CheckWriter(long double value) {
  const long double canonical = value * 1;
  if (std::memcmp(&canonical, &value, 10) != 0) return;
  if (!std::isfinite(value) || std::fabs(value) > 1.7976931348623157E308L) return;
  std::string written;
  try {
    written = FloatToValueText(value);
  } catch (const EOverflow&) {
    return;  // the values that round to the double limit's neighbour
  }
  Require(written == ReferenceValueText(value));
  // The number the evaluator carries for the written text is the one reading it gives.
  Require(ValueTextRoundTrip(value) == TextToFloat(written));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the locale separator, the rest is the text.
  SetLocaleDecimalSeparator(data[0] & 1 ? ',' : '.');
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  for (TValueType target : {vtString, vtInteger, vtFloat, vtBoolean}) {
    IsValidValue(text, target);
    try {
      const std::string result = TypeCast(text, target);
      Require(IsValidValue(result, target));
    } catch (const Exception&) {
    }
  }
  Require(UnquoteString(QuoteString(text)) == text);

  if (text.size() >= 10) {
    long double raw = 0;
    std::memcpy(&raw, text.data(), 10);
    CheckWriter(raw);
  }

  long double value = 0;
  if (TryTextToFloat(text, value)) {
    Require(std::isfinite(value));
    CheckWriter(value);
    CheckWriter(value * 2.718281828L);
    try {
      const std::string written = FloatToValueText(value);
      long double read = 0;
      Require(TryTextToFloat(written, read));
    } catch (const EOverflow&) {
      Require(std::fabs(value) > 1.7E308L);
    }
  }
  std::int32_t integer = 0;
  if (TryTextToInt(text, integer)) Require(TextToInt(IntToText(integer)) == integer);

  FormatText(text, {"text", 12, value});
  SetLocaleDecimalSeparator('.');
  return 0;
}
