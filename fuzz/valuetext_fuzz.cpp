// Value texts and the message formatter on arbitrary bytes: nothing may crash, and every
// conversion result must itself be a valid text of its target type.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "expr/format.h"
#include "expr/typecvt.h"
#include "fuzz/fuzz_input.h"
#include "platform/errors.h"

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

  long double value = 0;
  if (TryTextToFloat(text, value)) {
    Require(std::isfinite(value));
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
