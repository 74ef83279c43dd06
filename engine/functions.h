#pragma once

// The wizard's function table: the twenty functions an expression of a run may call, as one
// table of rows (name, argument count, conversions, routine, result form) in dispatch order.
//
//   1 round  2 upper  3 lower  4 concat  5 quantity  6 if  7 iteminfo  8 itemcount  9 abs
//   10 remain  11 div  12 average  13 power  14 sqrt  15 exp  16 cpercent  17 usermsg
//   18 stat  19 firstitem  20 nextitem
//
// Rows 5, 7, 8 and 18 to 20 read the data of whoever serves the expression; they reach it
// through TEvalFunctionHooks. Every other row is computed here alone.
//
// How a provider plugs in: derive from TEvalFunctionHooks (privately is enough), implement
// ProductQuantity, ItemInfo and ItemCount over your own data (StandardItemInfo gives the
// attribute table of "iteminfo" for any price list and quantity), and forward the
// provider's IsFunction and CallFunction here with the number of rows you serve:
//
//   bool IsFunction(const std::string& Name) override {
//     return IsTableFunction(Name, kSharedFunctionCount);
//   }
//   void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
//                     std::string& Result) override {
//     CallTableFunction(*this, kSharedFunctionCount, Name, Params, Result);
//   }
//
// The wizard's own provider serves kWizardFunctionCount rows and overrides Stat, FirstItem and
// NextItem too; a provider that serves kSharedFunctionCount rows never has them called (its
// IsFunction answers false for their names).

#include <cstdint>
#include <string>
#include <vector>

class TSpecPriceList;
class TSpecProduct;

// Rows 1 to 20, and the first seventeen that do not need the run's item cursor or statistics.
inline constexpr int kWizardFunctionCount = 20;
inline constexpr int kSharedFunctionCount = 17;

// The data a provider lends the rows that read it.
class TEvalFunctionHooks {
 public:
  virtual ~TEvalFunctionHooks() = default;

  // "quantity" (row 5): the quantity of the first product of that code, 0 without one.
  virtual long double ProductQuantity(const std::string& Code) = 0;
  // "iteminfo" (row 7): Result arrives empty and stays empty for an unknown code or N.
  virtual void ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) = 0;
  // "itemcount" (row 8): the products whose quantity is above 0.
  virtual std::int32_t ItemCount() = 0;
  // "stat", "firstitem", "nextitem" (rows 18 to 20).
  virtual void Stat(std::int32_t /*Kind*/, std::string& /*Result*/) {}
  virtual void FirstItem(std::string& /*Result*/) {}
  virtual void NextItem(std::string& /*Result*/) {}
};

// True when Name, its ASCII letters folded, is the name of one of the first RowCount rows;
// the number of arguments plays no part.
bool IsTableFunction(const std::string& Name, int RowCount);

// Result := empty; then the row among the first RowCount whose name equals Name (ASCII letters
// folded) and whose argument count equals Params.size() ("average" takes any count) converts
// the arguments, calls its routine and writes its result. No such row: the empty text, no
// error. Conversion and routine errors propagate as raised.
void CallTableFunction(TEvalFunctionHooks& Hooks, int RowCount, const std::string& Name,
                       const std::vector<std::string>& Params, std::string& Result);

// The "iteminfo" attribute table: Result := empty; the first product of the code in the price
// list (none: stays empty), then attribute N (0..16; any other N stays empty), Quantity being
// the caller's quantity of that code. Attribute 3, the category's name, is the empty text for
// a product whose category code names no category.
void StandardItemInfo(const TSpecPriceList& PriceList, const std::string& Code,
                      long double Quantity, std::int32_t N, std::string& Result);
// Attribute N of the table above of that very product, Quantity being its quantity.
void ProductItemInfo(const TSpecProduct& Product, long double Quantity, std::int32_t N,
                     std::string& Result);

// X rounded to a whole number, a tie going to the even neighbour, as a signed 64-bit integer;
// EInvalidOp "Invalid floating point operation" when the result lies outside that range (or
// X is not a number).
std::int64_t RoundHalfEven(long double X);
