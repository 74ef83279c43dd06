// The wizard's function table and its dispatcher.
#include "engine/functions.h"

#include <cmath>

#include "expr/evalfunc.h"
#include "expr/typecvt.h"
#include "model/pricelist.h"
#include "platform/errors.h"

namespace {

using Params = std::vector<std::string>;

// The argument conversions of the table.
long double AsFloat(const std::string& param) {
  return TextToFloat(TypeCast(param, vtFloat));
}
std::int32_t AsInteger(const std::string& param) {
  return TextToInt(TypeCast(param, vtInteger));
}
std::string AsText(const std::string& param) {
  return UnquoteString(TypeCast(param, vtString));
}
bool AsBoolean(const std::string& param) {
  return TextToBool(TypeCast(param, vtBoolean));
}

// The result forms.
void FloatResult(long double value, std::string& result) {
  FloatToValueText(value, result);
}

using Routine = void (*)(TEvalFunctionHooks& hooks, const Params& p, std::string& result);

struct Row {
  const char* Name;  // lower case
  int Arity;         // -1: any number of arguments
  Routine Call;
};

constexpr int kAnyArity = -1;

// Arguments are converted from the first to the last, so the first failing conversion is the
// one reported.
const Row kRows[kWizardFunctionCount] = {
    {"round", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(static_cast<long double>(RoundHalfEven(AsFloat(p[0]))), r);
     }},
    {"upper", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(EvalUpper(AsFloat(p[0])), r);
     }},
    {"lower", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(EvalLower(AsFloat(p[0])), r);
     }},
    {"concat", 2,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       std::string first = AsText(p[0]);
       r = QuoteString(first + AsText(p[1]));
     }},
    {"quantity", 1,
     [](TEvalFunctionHooks& h, const Params& p, std::string& r) {
       FloatResult(h.ProductQuantity(AsText(p[0])), r);
     }},
    {"if", 3,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       r = EvalIf(AsBoolean(p[0]), p[1], p[2]);
     }},
    {"iteminfo", 2,
     [](TEvalFunctionHooks& h, const Params& p, std::string& r) {
       std::string code = AsText(p[0]);
       h.ItemInfo(code, AsInteger(p[1]), r);
     }},
    {"itemcount", 0,
     [](TEvalFunctionHooks& h, const Params&, std::string& r) { r = IntToText(h.ItemCount()); }},
    {"abs", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(EvalAbs(AsFloat(p[0])), r);
     }},
    {"remain", 2,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       std::int32_t first = AsInteger(p[0]);
       r = IntToText(EvalRemain(first, AsInteger(p[1])));
     }},
    {"div", 2,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       std::int32_t first = AsInteger(p[0]);
       r = IntToText(EvalDiv(first, AsInteger(p[1])));
     }},
    {"average", kAnyArity,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) { FloatResult(EvalAverage(p), r); }},
    {"power", 2,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       long double base = AsFloat(p[0]);
       FloatResult(EvalPower(base, AsFloat(p[1])), r);
     }},
    {"sqrt", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(EvalSqrt(AsFloat(p[0])), r);
     }},
    {"exp", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       FloatResult(EvalExp(AsFloat(p[0])), r);
     }},
    {"cpercent", 3,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) {
       long double value = AsFloat(p[0]);
       long double percent = AsFloat(p[1]);
       FloatResult(EvalCPercent(value, percent, AsInteger(p[2])), r);
     }},
    {"usermsg", 1,
     [](TEvalFunctionHooks&, const Params& p, std::string& r) { r = EvalUserMsg(p[0]); }},
    {"stat", 1,
     [](TEvalFunctionHooks& h, const Params& p, std::string& r) { h.Stat(AsInteger(p[0]), r); }},
    {"firstitem", 0, [](TEvalFunctionHooks& h, const Params&, std::string& r) { h.FirstItem(r); }},
    {"nextitem", 0, [](TEvalFunctionHooks& h, const Params&, std::string& r) { h.NextItem(r); }},
};

// Name, its ASCII letters folded to lower case, equals the row's lower-case name.
bool SameFunctionName(const std::string& name, const char* rowName) {
  std::size_t i = 0;
  for (; rowName[i] != '\0'; ++i) {
    if (i >= name.size()) return false;
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != rowName[i]) return false;
  }
  return i == name.size();
}

int RowsServed(int rowCount) {
  return rowCount < 0 ? 0 : rowCount > kWizardFunctionCount ? kWizardFunctionCount : rowCount;
}

constexpr long double kTwoTo63 = 9223372036854775808.0L;

}  // namespace

bool IsTableFunction(const std::string& Name, int RowCount) {
  const int rows = RowsServed(RowCount);
  for (int i = 0; i < rows; ++i) {
    if (SameFunctionName(Name, kRows[i].Name)) return true;
  }
  return false;
}

void CallTableFunction(TEvalFunctionHooks& Hooks, int RowCount, const std::string& Name,
                       const std::vector<std::string>& Params, std::string& Result) {
  Result.clear();
  const int rows = RowsServed(RowCount);
  for (int i = 0; i < rows; ++i) {
    const Row& row = kRows[i];
    if (!SameFunctionName(Name, row.Name)) continue;
    if (row.Arity != kAnyArity && static_cast<std::size_t>(row.Arity) != Params.size()) continue;
    row.Call(Hooks, Params, Result);
    return;
  }
}

void StandardItemInfo(const TSpecPriceList& PriceList, const std::string& Code,
                      long double Quantity, std::int32_t N, std::string& Result) {
  Result.clear();
  const TSpecProduct* product = PriceList.FindProductByCode(Code);
  if (product) ProductItemInfo(*product, Quantity, N, Result);
}

void ProductItemInfo(const TSpecProduct& Product, long double Quantity, std::int32_t N,
                     std::string& Result) {
  Result.clear();
  const TSpecProduct* product = &Product;
  switch (N) {
    case 0:
      Result = QuoteString(product->Code);
      break;
    case 1:
      Result = QuoteString(product->GetName());
      break;
    case 2:
      Result = QuoteString(product->CategoryCode);
      break;
    case 3:
      // A category code that names no category has no name to show: the empty text.
      if (const TSpecCategory* category = product->Category()) {
        Result = QuoteString(category->GetName());
      }
      break;
    case 4:
      Result = QuoteString(product->GetMeasureUnit());
      break;
    case 5:
      FloatResult(Quantity, Result);
      break;
    case 6:
      FloatResult(product->Price, Result);
      break;
    case 7:
      FloatResult(product->PriceWithTaxes, Result);
      break;
    case 8:
      FloatResult(product->Price * Quantity, Result);
      break;
    case 9:
      FloatResult(product->PriceWithTaxes * Quantity, Result);
      break;
    case 10:
      FloatResult(product->PackageVolume, Result);
      break;
    case 11:
      Result = IntToText(product->Width());
      break;
    case 12:
      Result = IntToText(product->Height());
      break;
    case 13:
      Result = IntToText(product->Length());
      break;
    case 14:
      Result = IntToText(product->RackUnits());
      break;
    case 15:
      Result = IntToText(product->Weight);
      break;
    case 16:
      Result = BoolToText(product->Available != 0);
      break;
    default:
      break;
  }
}

std::int64_t RoundHalfEven(long double X) {
  if (std::isnan(X)) throw EInvalidOp();
  const long double floor = std::floor(X);
  const long double fraction = X - floor;  // exact: both lie within one binade of X
  long double rounded = floor;
  if (fraction > 0.5L || (fraction == 0.5L && std::fmod(floor, 2.0L) != 0)) rounded = floor + 1;
  if (!(rounded >= -kTwoTo63 && rounded < kTwoTo63)) throw EInvalidOp();
  return static_cast<std::int64_t>(rounded);
}
