// The saved state of a run: the stamp, the value store, the history with its undo entries and
// the current element, written to and read from a stream, and the Save and Load buttons of
// the screen form.
//
// File layout (Int: signed 32-bit little-endian; Str: 16-bit length and the bytes):
//   Int stamp, Int nV, nV Str values, Int nQ, nQ Str quantities, Int nH, nH element
//   references (the history, oldest first), nH Str undo codes, nH Str undo quantities, one
//   element reference (Current).
// An element reference is Int kind and what the kind needs: -1 none; 0 Int screen index;
// 1 Int action index; 2 Int decision-point index; 3 Int decision-point index and Int option
// index; 4 the start; 5 the finish.
//
// A file is trusted only as far as this program writes it: its stamp is read first, then the
// whole file before anything of the run changes, and it is refused like a file of another
// scheme unless it fits the loaded scheme (counts, indexes, a history that ends with a screen,
// values and quantities in the forms the run writes them, which convert to their variables'
// types and can be shown on a screen).
//
// Loading and saving take time in proportion to the file: element indexes are looked up in a
// table built once per save, and a load replaces the history whole.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/runtime.h"
#include "expr/typecvt.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/cp1251.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace {

// The saved state's own numbering of element kinds.
enum TSavedElementKind : std::int32_t {
  sekNone = -1,
  sekScreen = 0,
  sekAction = 1,
  sekDecisionPoint = 2,
  sekOption = 3,
  sekStart = 4,
  sekFinish = 5,
};

// An element reference as read, before it is resolved against the template.
struct SavedElementRef {
  std::int32_t Kind = sekNone;
  std::int32_t Index = 0;
  std::int32_t Option = 0;
};

SavedElementRef ReadSavedElementRef(TSpecDataStream& stream) {
  SavedElementRef ref;
  ref.Kind = stream.ReadInteger();
  switch (ref.Kind) {
    case sekScreen:
    case sekAction:
    case sekDecisionPoint:
      ref.Index = stream.ReadInteger();
      break;
    case sekOption:
      ref.Index = stream.ReadInteger();
      ref.Option = stream.ReadInteger();
      break;
    default:
      break;
  }
  return ref;
}

// The element of a reference; the lists' accessors raise EListError for an index outside.
TSpecObject* ResolveElementRef(TSpecTemplate* templ, const SavedElementRef& ref) {
  switch (ref.Kind) {
    case sekScreen:
      return templ->Screens(ref.Index);
    case sekAction:
      return templ->Actions(ref.Index);
    case sekDecisionPoint:
      return templ->DecisionPoints(ref.Index);
    case sekOption:
      return templ->DecisionPoints(ref.Index)->Options(ref.Option);
    case sekStart:
      return templ->Start();
    case sekFinish:
      return templ->Finish();
    default:
      return nullptr;
  }
}

bool InRange(std::int32_t index, int count) {
  return index >= 0 && index < count;
}

// The reference names an element of the template (none counts as resolvable).
bool Resolvable(const TSpecTemplate* templ, const SavedElementRef& ref) {
  switch (ref.Kind) {
    case sekScreen:
      return InRange(ref.Index, templ->ScreenCount());
    case sekAction:
      return InRange(ref.Index, templ->ActionCount());
    case sekDecisionPoint:
      return InRange(ref.Index, templ->DecisionPointCount());
    case sekOption:
      return InRange(ref.Index, templ->DecisionPointCount()) &&
             InRange(ref.Option, templ->DecisionPoints(ref.Index)->OptionCount());
    default:
      return true;
  }
}

// A history entry is a screen, an action, a decision point, the start or the finish.
bool HistoryKind(std::int32_t kind) {
  return kind == sekScreen || kind == sekAction || kind == sekDecisionPoint || kind == sekStart ||
         kind == sekFinish;
}

// A number text as the run writes one: the number writer's texts ("-12.5", "1.5E-5", "1E15"),
// the integer texts of answers and functions ("-7") and numeric constants of expressions as
// they stand in the expression ("007", ".5", "5."). Hexadecimal integers, blanks, a "+" sign,
// a lower-case exponent or an exponent without digits never come from the run: they pass a
// type test, but the arithmetic of the expressions reads only decimal numbers.
bool IsRunNumberText(const std::string& text) {
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && text[i] == '-') ++i;
  const std::size_t mantissa = i;
  while (i < n && isDigit(text[i])) ++i;
  const bool integerDigits = i > mantissa;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && isDigit(text[i])) ++i;
  } else if (!integerDigits) {
    return false;
  }
  // A sign stands only before the number writer's texts, which start with a digit.
  if (mantissa > 0 && !integerDigits) return false;
  if (i < n && text[i] == 'E') {
    ++i;
    if (i < n && text[i] == '-') ++i;
    const std::size_t exponent = i;
    while (i < n && isDigit(text[i])) ++i;
    if (i == exponent) return false;
  }
  // Within the range of the number format as well.
  return i == n && IsValidValue(text, vtFloat);
}

// A text the run itself stores in a variable: the empty text, a string constant or a number
// text as the run writes it.
bool IsRunValueText(const std::string& text) {
  return text.empty() || IsStringConstant(text) || IsRunNumberText(text);
}

// The initial values of the scheme's variables. They are stored as the scheme gives them (a
// hexadecimal integer among them) and a run can copy one into any variable, so each is a text
// the run may have stored anywhere.
class SchemeValues {
 public:
  explicit SchemeValues(const TSpecTemplate* templ) : Template(templ) {}

  bool Contains(const std::string& text) {
    if (Values.empty()) {
      for (int i = 0; i < Template->VariableCount(); ++i) {
        Values.insert(Template->Variables(i)->Value());
      }
    }
    return Values.count(text) > 0;
  }

 private:
  const TSpecTemplate* Template;
  std::unordered_set<std::string> Values;
};

// A value the run can have stored for its variable and can use there: a text the run writes or
// an initial value of the scheme, which converts to the variable's declared type, as the
// provider reads it, and which a screen can show in that type ("1e308" converts to no Boolean,
// "99999999999" is no 32-bit integer). A variable of a type code outside the four needs no
// more.
bool IsVariableValue(const std::string& text, TValueType type, SchemeValues& schemeValues) {
  if (!IsRunValueText(text) && !schemeValues.Contains(text)) return false;
  if (type > vtBoolean) return true;
  try {
    ShownValueText(text, type);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// A quantity text as the run writes one: a number text within the range of the stored number
// format.
bool IsQuantityText(const std::string& text) {
  if (!IsRunNumberText(text)) return false;
  try {
    FloatToValueText(TextToFloat(text));
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// Reads count texts; the count is checked against the bytes left first (a Str takes at least
// its 2-byte length). A negative count reads none.
std::vector<std::string> ReadTexts(TSpecDataStream& stream, std::int32_t count) {
  CheckRecordCount(stream, count, 2);
  std::vector<std::string> texts;
  for (std::int32_t i = 0; i < count; ++i) texts.push_back(stream.ReadString());
  return texts;
}

// A whole saved state as read from a stream, after the stamp.
struct SavedState {
  std::int32_t ValueCount = 0;
  std::vector<std::string> Values;
  std::int32_t QuantityCount = 0;
  std::vector<std::string> Quantities;
  std::vector<SavedElementRef> History;
  std::vector<std::string> UndoCodes;
  std::vector<std::string> UndoQuantities;
  SavedElementRef Current;

  // Raises "Read beyond the end." for a stream that ends early.
  void Read(TSpecDataStream& stream) {
    ValueCount = stream.ReadInteger();
    Values = ReadTexts(stream, ValueCount);
    QuantityCount = stream.ReadInteger();
    Quantities = ReadTexts(stream, QuantityCount);
    const std::int32_t historyCount = stream.ReadInteger();
    // Each entry takes at least a 4-byte kind and two 2-byte undo texts.
    CheckRecordCount(stream, historyCount, 4 + 2 + 2);
    for (std::int32_t i = 0; i < historyCount; ++i) History.push_back(ReadSavedElementRef(stream));
    UndoCodes = ReadTexts(stream, historyCount);
    UndoQuantities = ReadTexts(stream, historyCount);
    Current = ReadSavedElementRef(stream);
  }

  // The state fits the template as this program writes it: one value per variable, one
  // quantity per product, a history of listed elements (never an option or none) that ends
  // with the screen on which it was saved, and texts the store and the undo can use.
  bool Fits(const TSpecTemplate* templ) const {
    if (ValueCount != templ->VariableCount()) return false;
    if (QuantityCount != templ->PriceList()->ProductCount()) return false;
    if (History.empty() || History.back().Kind != sekScreen) return false;
    for (const SavedElementRef& ref : History) {
      if (!HistoryKind(ref.Kind) || !Resolvable(templ, ref)) return false;
    }
    if (!Resolvable(templ, Current)) return false;
    SchemeValues schemeValues(templ);
    for (std::size_t i = 0; i < Values.size(); ++i) {
      if (!IsVariableValue(Values[i], templ->Variables(static_cast<int>(i))->Type, schemeValues))
        return false;
    }
    for (const std::string& quantity : Quantities) {
      if (!IsQuantityText(quantity)) return false;
    }
    for (std::size_t i = 0; i < History.size(); ++i) {
      if (!UndoCodes[i].empty() && !IsQuantityText(UndoQuantities[i])) return false;
    }
    return true;
  }
};

// The index of every screen, action and decision point in its template list and of every
// option in its decision point's list, so that a save looks each history entry up at once.
// An element the table lacks is looked up in the template as WriteElementRef does.
class ElementIndexes {
 public:
  explicit ElementIndexes(const TSpecTemplate* templ) {
    for (int i = templ->ScreenCount() - 1; i >= 0; --i) Index.emplace(templ->Screens(i), i);
    for (int i = templ->ActionCount() - 1; i >= 0; --i) Index.emplace(templ->Actions(i), i);
    for (int i = templ->DecisionPointCount() - 1; i >= 0; --i) {
      const TSpecDecisionPoint* decision = templ->DecisionPoints(i);
      Index.emplace(decision, i);
      for (int o = decision->OptionCount() - 1; o >= 0; --o) {
        Index.emplace(decision->Options(o), o);
      }
    }
  }

  // The index of a listed element; -1 for one the table lacks.
  std::int32_t Find(const TSpecObject* element) const {
    auto it = Index.find(element);
    return it == Index.end() ? -1 : it->second;
  }

 private:
  // Filled from the last entry of each list to the first, so that an object listed twice
  // keeps its last index, as the template's own look-ups give it.
  std::unordered_map<const TSpecObject*, std::int32_t> Index;
};

}  // namespace

void TSpecRunTime::SaveState(TSpecDataStream& Stream) {
  Stream.WriteInteger(SchemeStamp);
  Stream.WriteInteger(static_cast<std::int32_t>(Transition->Values.size()));
  for (const std::string& value : Transition->Values) Stream.WriteString(value);
  Stream.WriteInteger(static_cast<std::int32_t>(Transition->Quantities.size()));
  for (const std::string& quantity : Transition->Quantities) Stream.WriteString(quantity);
  const int historyCount = HistoryCount();
  Stream.WriteInteger(historyCount);
  const ElementIndexes indexes(Template);
  for (int i = 0; i < historyCount; ++i) {
    const TSpecObject* element = HistoryItems(i);
    const std::int32_t index = element ? indexes.Find(element) : -1;
    const bool listed =
        index >= 0 &&
        (element->ObjectKind() != TSpecObjectKind::Option ||
         indexes.Find(static_cast<const TSpecOption*>(element)->DecisionPoint()) >= 0);
    if (!listed) {
      WriteElementRef(element, Stream);
      continue;
    }
    switch (element->ObjectKind()) {
      case TSpecObjectKind::Screen:
        Stream.WriteInteger(sekScreen);
        break;
      case TSpecObjectKind::Action:
        Stream.WriteInteger(sekAction);
        break;
      case TSpecObjectKind::DecisionPoint:
        Stream.WriteInteger(sekDecisionPoint);
        break;
      case TSpecObjectKind::Option:
        Stream.WriteInteger(sekOption);
        Stream.WriteInteger(
            indexes.Find(static_cast<const TSpecOption*>(element)->DecisionPoint()));
        break;
      default:
        break;
    }
    Stream.WriteInteger(index);
  }
  for (int i = 0; i < historyCount; ++i) Stream.WriteString(UndoCodes[static_cast<std::size_t>(i)]);
  for (int i = 0; i < historyCount; ++i) {
    Stream.WriteString(UndoQuantities[static_cast<std::size_t>(i)]);
  }
  WriteElementRef(Current, Stream);
}

bool TSpecRunTime::LoadState(TSpecDataStream& Stream) {
  if (Stream.ReadInteger() != SchemeStamp) return false;
  SavedState state;
  state.Read(Stream);
  if (!state.Fits(Template)) return false;

  // The whole file is read and fits: only now does the run change. The old history goes
  // without undoing its quantities one by one: the store they would go to is replaced.
  std::vector<TSpecObject*> history;
  history.reserve(state.History.size());
  for (const SavedElementRef& ref : state.History) {
    history.push_back(ResolveElementRef(Template, ref));
  }
  History = std::move(history);
  Transition->Values = std::move(state.Values);
  Transition->Quantities = std::move(state.Quantities);
  UndoCodes = std::move(state.UndoCodes);
  UndoQuantities = std::move(state.UndoQuantities);
  Current = ResolveElementRef(Template, state.Current);
  return true;
}

void TSpecRunTime::WriteElementRef(const TSpecObject* Element, TSpecDataStream& Stream) {
  if (Element == nullptr) {
    Stream.WriteInteger(sekNone);
    return;
  }
  switch (Element->ObjectKind()) {
    case TSpecObjectKind::Screen:
      Stream.WriteInteger(sekScreen);
      Stream.WriteInteger(Template->IndexOfScreen(static_cast<const TSpecScreen*>(Element)));
      return;
    case TSpecObjectKind::Action:
      Stream.WriteInteger(sekAction);
      Stream.WriteInteger(Template->IndexOfAction(static_cast<const TSpecAction*>(Element)));
      return;
    case TSpecObjectKind::DecisionPoint:
      Stream.WriteInteger(sekDecisionPoint);
      Stream.WriteInteger(
          Template->IndexOfDecisionPoint(static_cast<const TSpecDecisionPoint*>(Element)));
      return;
    case TSpecObjectKind::Option: {
      const auto* option = static_cast<const TSpecOption*>(Element);
      Stream.WriteInteger(sekOption);
      Stream.WriteInteger(Template->IndexOfDecisionPoint(option->DecisionPoint()));
      Stream.WriteInteger(option->DecisionPoint()->IndexOfOption(option));
      return;
    }
    case TSpecObjectKind::Start:
      Stream.WriteInteger(sekStart);
      return;
    case TSpecObjectKind::Finish:
      Stream.WriteInteger(sekFinish);
      return;
  }
  Stream.WriteInteger(sekNone);
}

TSpecObject* TSpecRunTime::ReadElementRef(TSpecDataStream& Stream) {
  return ResolveElementRef(Template, ReadSavedElementRef(Stream));
}

void TSpecRunTime::SaveBtnClick() {
  std::string fileName;
  if (!ScreenForm || !ScreenForm->ExecuteSaveDialog(fileName)) return;
  // A state that cannot be written is not saved, and the file saved before under that name
  // stays as it was; the user is told why, in the error box of the handler. The file system's
  // reasons come in the file layer's English words; one that a replaced file system gives is
  // taken as UTF-8, like the file name. A failure of the program's own keeps its
  // Windows-1251 text.
  std::string reason;
  try {
    TSpecDataStream stream;
    SaveState(stream);
    if (stream.SaveToFileReplacing(fileName, reason)) return;
    reason = Utf8ToCp1251(reason);
  } catch (const ESaveError& e) {
    reason = e.Reason();
  } catch (const EInOutError& e) {
    reason = Utf8ToCp1251(e.what());
  } catch (const std::exception& e) {
    reason = e.what();
  }
  throw Exception(SaveFailedMessage(fileName, reason));
}

void TSpecRunTime::LoadBtnClick() {
  std::string fileName;
  if (!ScreenForm || !ScreenForm->ExecuteOpenDialog(fileName)) return;
  TSpecDataStream stream;
  bool read = false;
  // The stamp comes first: a file of another scheme is refused before the rest is read. A file
  // too short for a stamp is read whole and raises "Read beyond the end." in LoadState.
  const auto sameScheme = [](TSpecDataStream& head) {
    return head.Size() < 4 || head.ReadInteger() == SchemeStamp;
  };
  try {
    read = stream.LoadFromFile(fileName, 4, sameScheme);
  } catch (const EInOutError&) {
    read = false;  // a file that cannot be read is ignored like one that cannot be opened
  }
  // A file that ends early raises "Read beyond the end." out of LoadState, with the run
  // unchanged; the form shows it in its error box.
  if (read && LoadState(stream)) StateLoaded = true;
  if (StateLoaded) ScreenForm->SetModalResult(mrOk);
}
