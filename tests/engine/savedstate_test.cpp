// The saved state: its exact bytes, element references, the round trip through a file, and
// damaged or foreign files, each of which leaves the run as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/saver.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "tests/engine/screen_test_support.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"
#include "tools/schemewriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Bytes BytesOf(TSpecDataStream& stream) {
  Bytes bytes(stream.Size());
  stream.Rewind();
  if (!bytes.empty()) stream.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

// Everything of a run that a load may replace.
struct RunState {
  std::vector<std::string> Values, Quantities;
  std::vector<TSpecObject*> History;
  std::vector<std::string> UndoCodes, UndoQuantities;
  TSpecObject* Current;

  explicit RunState(const TSpecRunTime& run)
      : Values(run.Transition->Values),
        Quantities(run.Transition->Quantities),
        History(run.History),
        UndoCodes(run.UndoCodes),
        UndoQuantities(run.UndoQuantities),
        Current(run.Current) {}
  bool operator==(const RunState&) const = default;
};

// A scheme of two variables, one product, two screens (the second asks for COUNT), an
// add-product action and a decision point, run as start, screen 0, action, screen 1.
struct SavedRun : EngineFixture {
  SavedRun() {
    Variable("A", vtInteger, "1");
    Variable("B");
    Product("P");
    First = Screen("First", {});
    Second = Screen("Second", {Question("Count", qkIntegerInput, Variable("COUNT"))});
    Action = AddProduct("P", "2");
    Decision("A>0");
    Chain({Template.Start(), First, Action, Second, Template.Finish()});
  }

  // Puts the run where the file of ValidFile() leaves it, without the forms.
  void StandOnTheSecondScreen() {
    RunTime.Start();  // history: the start, the first screen
    RunTime.Current = First;
    RunTime.Advance();
    RunTime.PerformAction(Action);
    RunTime.Advance();
  }

  TSpecScreen* First;
  TSpecScreen* Second;
  TSpecAction* Action;
};

// A saved-state file field by field; every field defaults to the file of the run
// StandOnTheSecondScreen makes (with B holding "b").
struct StateFile {
  std::int32_t Stamp = EngineFixture::kStamp;
  std::vector<std::string> Values = {"1", R"("b")", ""};
  std::optional<std::int32_t> ValueCount{};
  std::vector<std::string> Quantities = {"2"};
  std::optional<std::int32_t> QuantityCount{};
  std::vector<std::vector<std::int32_t>> History = {{4}, {0, 0}, {1, 0}, {0, 1}};
  std::optional<std::int32_t> HistoryCount{};
  std::vector<std::string> UndoCodes = {"", "", "P", ""};
  std::vector<std::string> UndoQuantities = {"", "", "0", ""};
  std::vector<std::int32_t> Current = {1, 0};

  SchemeWriter Write() const {
    SchemeWriter out;
    out.Int(Stamp).Int(ValueCount.value_or(static_cast<std::int32_t>(Values.size())));
    for (const std::string& value : Values) out.Str(value);
    out.Int(QuantityCount.value_or(static_cast<std::int32_t>(Quantities.size())));
    for (const std::string& quantity : Quantities) out.Str(quantity);
    out.Int(HistoryCount.value_or(static_cast<std::int32_t>(History.size())));
    for (const auto& ref : History) {
      for (std::int32_t field : ref) out.Int(field);
    }
    for (const std::string& code : UndoCodes) out.Str(code);
    for (const std::string& quantity : UndoQuantities) out.Str(quantity);
    for (std::int32_t field : Current) out.Int(field);
    return out;
  }
};

TEST(SavedState, ASmallRunIsTheFortySixBytesOfTheFormat) {
  EngineFixture f;
  f.Variable("A", vtInteger, "1");
  f.Product("P");
  TSpecScreen* screen = f.Screen("S", {});
  f.RunTime.Start();  // no link leaves the start: the history is the start alone
  f.RunTime.PushElement(screen);
  f.RunTime.Transition->Quantities[0] = "2";
  f.RunTime.Current = f.Template.Start();

  TSpecDataStream stream;
  f.RunTime.SaveState(stream);
  const Bytes expected = {
      0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x31, 0x01,
      0x00, 0x00, 0x00, 0x01, 0x00, 0x32, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
  };
  ASSERT_EQ(expected.size(), 46u);
  EXPECT_EQ(BytesOf(stream), expected);
}

TEST(SavedState, TheRunOnTheSecondScreenIsWrittenFieldByField) {
  SavedRun run;
  run.StandOnTheSecondScreen();
  run.RunTime.Transition->SetValue("B", R"("b")");
  TSpecDataStream stream;
  run.RunTime.SaveState(stream);
  EXPECT_EQ(BytesOf(stream), StateFile().Write().Bytes());
}

TEST(SavedState, ElementReferencesNameKindAndIndexes) {
  SavedRun run;
  TSpecTemplate other;
  TSpecDecisionPoint* decision = run.Template.DecisionPoints(0);
  struct Row {
    const char* Name;
    const TSpecObject* Element;
    std::vector<std::int32_t> Fields;
  };
  const std::vector<Row> rows = {
      {"none", nullptr, {-1}},
      {"screen", run.Second, {0, 1}},
      {"action", run.Action, {1, 0}},
      {"decision point", decision, {2, 0}},
      {"option by its position in the decision point", decision->Options(1), {3, 0, 1}},
      {"start", run.Template.Start(), {4}},
      {"finish", run.Template.Finish(), {5}},
      {"screen of another scheme", other.AddScreen("Foreign", ""), {0, -1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TSpecDataStream stream;
    run.RunTime.WriteElementRef(row.Element, stream);
    SchemeWriter expected;
    for (std::int32_t field : row.Fields) expected.Int(field);
    EXPECT_EQ(BytesOf(stream), expected.Bytes());
    if (row.Fields.back() >= 0) {
      stream.Rewind();
      EXPECT_EQ(run.RunTime.ReadElementRef(stream), row.Element);
    }
  }
}

TEST(SavedState, ReadingAReferenceOfAnUnknownKindReadsNothingMore) {
  SavedRun run;
  SchemeWriter bytes;
  bytes.Int(9).Int(0);
  auto stream = StreamOf(bytes);
  EXPECT_EQ(run.RunTime.ReadElementRef(*stream), nullptr);
  EXPECT_EQ(stream->Position(), 4u);
  auto outside = StreamOf(SchemeWriter().Int(0).Int(7));
  EXPECT_RAISES_WHAT(run.RunTime.ReadElementRef(*outside), "List index out of bounds (7)");
}

TEST(SavedState, LoadingReplacesTheRunAndBackUndoesAsBeforeSaving) {
  SavedRun run;
  run.StandOnTheSecondScreen();
  run.RunTime.Transition->SetValue("B", R"("b")");
  const RunState saved(run.RunTime);
  TSpecDataStream stream;
  run.RunTime.SaveState(stream);

  // Another run of the same scheme, which added products of its own.
  SavedRun other;
  other.StandOnTheSecondScreen();
  other.RunTime.PerformAction(other.Action);
  other.RunTime.Transition->SetValue("A", "7");
  stream.Rewind();
  ASSERT_TRUE(other.RunTime.LoadState(stream));
  RunState loaded(other.RunTime);
  // The same state, in the other template's objects.
  EXPECT_EQ(loaded.Values, saved.Values);
  EXPECT_EQ(loaded.Quantities, saved.Quantities);
  EXPECT_EQ(loaded.UndoCodes, saved.UndoCodes);
  EXPECT_EQ(loaded.UndoQuantities, saved.UndoQuantities);
  EXPECT_EQ(loaded.History, (std::vector<TSpecObject*>{other.Template.Start(), other.First,
                                                       other.Action, other.Second}));
  EXPECT_EQ(loaded.Current, other.Action);

  other.RunTime.GoingBack = true;
  other.RunTime.Advance();
  EXPECT_EQ(other.RunTime.LastElement(), other.First);
  EXPECT_EQ(other.RunTime.Transition->Quantities, Lines{"0"});
}

struct DamageRow {
  const char* Name;
  std::function<void(StateFile&)> Damage;
  // The message raised, or empty for a file refused silently.
  std::string Raises{};
};

TEST(SavedState, AFileThatDoesNotFitTheSchemeLeavesTheRunUnchanged) {
  const std::vector<DamageRow> rows = {
      {"another stamp", [](StateFile& file) { file.Stamp = 6; }},
      {"fewer values than variables", [](StateFile& file) { file.Values.pop_back(); }},
      {"more quantities than products", [](StateFile& file) { file.Quantities.push_back("1"); }},
      {"a negative value count",
       [](StateFile& file) {
         file.Values.clear();
         file.ValueCount = -1;
       }},
      {"an empty history",
       [](StateFile& file) {
         file.History.clear();
         file.UndoCodes.clear();
         file.UndoQuantities.clear();
       }},
      {"a history that ends with an action",
       [](StateFile& file) {
         file.History.back() = {1, 0};
       }},
      {"an option in the history",
       [](StateFile& file) {
         file.History[2] = {3, 0, 0};
       }},
      {"none in the history", [](StateFile& file) { file.History[2] = {-1}; }},
      {"a screen index out of range",
       [](StateFile& file) {
         file.History[1] = {0, 2};
       }},
      {"a negative action index",
       [](StateFile& file) {
         file.History[2] = {1, -1};
       }},
      {"the current option out of range",
       [](StateFile& file) {
         file.Current = {3, 0, 2};
       }},
      {"the current decision point out of range",
       [](StateFile& file) {
         file.Current = {2, 1};
       }},
      {"a value valid for no type", [](StateFile& file) { file.Values[1] = "b"; }},
      {"a quantity that is no number", [](StateFile& file) { file.Quantities[0] = "two"; }},
      {"an undo quantity beyond the number range",
       [](StateFile& file) { file.UndoQuantities[2] = "1e4000"; }},
      {"a value count beyond the file", [](StateFile& file) { file.ValueCount = 1000000; },
       "Read beyond the end."},
      {"a history count beyond the file", [](StateFile& file) { file.HistoryCount = 100; },
       "Read beyond the end."},
  };
  for (const DamageRow& row : rows) {
    SCOPED_TRACE(row.Name);
    SavedRun run;
    run.StandOnTheSecondScreen();
    run.RunTime.PerformAction(run.Action);
    const RunState before(run.RunTime);
    StateFile file;
    row.Damage(file);
    auto stream = StreamOf(file.Write());
    if (row.Raises.empty()) {
      EXPECT_FALSE(run.RunTime.LoadState(*stream));
    } else {
      EXPECT_RAISES_WHAT(run.RunTime.LoadState(*stream), row.Raises);
    }
    EXPECT_TRUE(RunState(run.RunTime) == before);
  }
}

// A hexadecimal integer passes the integer test, but no arithmetic reads it: a value loads only
// in a form the run itself stores (its number texts, string constants, the empty text) or as
// one of the scheme's initial values, which the run may have copied anywhere.
TEST(SavedState, AValueOrQuantityTheRunCannotHaveStoredIsRefused) {
  struct Row {
    const char* Name;
    std::string Text;
    bool Loads;
    // The value of that variable (A integer, B and COUNT strings); -1: the quantity.
    int Value = 0;
  };
  const std::vector<Row> rows = {
      {"hexadecimal with 0x", "0x10", false},
      {"hexadecimal with x", "x10", false},
      {"hexadecimal with $", "$1F", false},
      {"a leading blank", " 7", false},
      {"a plus sign", "+7", false},
      {"a trailing blank", "7 ", false},
      {"a lower-case exponent", "1e2", false},
      {"an exponent without digits", "1E", false},
      {"a negative integer", "-7", true},
      {"leading zeros, as a constant is written", "007", true},
      {"a constant without an integer part", ".5", true},
      {"a float in an integer variable", "-2.5", true},
      {"the number writer's exponent", "1.5E-5", true},
      {"a string constant in an integer variable", R"("12")", true},
      {"the empty text", "", true},
      {"the variable's own initial value", "$10", true},
      {"another variable's initial value", "$10", true, 2},
      {"a quantity with a leading blank", " 2", false, -1},
      {"a quantity with a lower-case exponent", "2e0", false, -1},
      {"a fractional quantity", "2.5", true, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    SavedRun run;
    run.Template.FindVariable("A")->SetValue("$10");
    run.StandOnTheSecondScreen();
    const RunState before(run.RunTime);
    StateFile file;
    (row.Value < 0 ? file.Quantities[0] : file.Values[static_cast<std::size_t>(row.Value)]) =
        row.Text;
    auto stream = StreamOf(file.Write());
    ASSERT_EQ(run.RunTime.LoadState(*stream), row.Loads);
    if (!row.Loads) {
      EXPECT_TRUE(RunState(run.RunTime) == before);
    } else if (row.Value < 0) {
      EXPECT_EQ(run.RunTime.Transition->Quantities, Lines{row.Text});
    } else {
      EXPECT_EQ(run.RunTime.Transition->Values[static_cast<std::size_t>(row.Value)], row.Text);
    }
  }
}

TEST(SavedState, AFileCutAnywhereRaisesAtItsEndAndLeavesTheRunUnchanged) {
  const SchemeWriter whole = StateFile().Write();
  // Inside the stamp, after the counts, inside a text, after the history count, before the
  // current element, inside it.
  const std::vector<std::size_t> cuts = {
      0, 3, 8, 11, 20, 27, 60, whole.Size() - 8, whole.Size() - 1};
  for (std::size_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    SavedRun run;
    run.StandOnTheSecondScreen();
    const RunState before(run.RunTime);
    auto stream = StreamOfPrefix(whole, cut);
    EXPECT_RAISES_WHAT(run.RunTime.LoadState(*stream), "Read beyond the end.");
    EXPECT_TRUE(RunState(run.RunTime) == before);
  }
}

TEST(SavedState, TheUndamagedFileLoads) {
  SavedRun run;
  run.RunTime.Start();
  auto stream = StreamOf(StateFile().Write());
  ASSERT_TRUE(run.RunTime.LoadState(*stream));
  EXPECT_EQ(run.RunTime.LastElement(), run.Second);
  EXPECT_EQ(run.Value("B"), R"("b")");
}

// --- The Save and Load buttons ---------------------------------------------------------------

TEST(SavedStateButtons, SaveOnAScreenAndLoadInANewRunShowsThatScreen) {
  FakeFileSystem files;
  {
    SavedRun run;
    run.Form.SaveDialogAnswers = {"/state.qvs"};
    // The count typed before Save is not part of the file: Save stores the run as it stood
    // when the screen was shown.
    run.Form.Script = {ClickStep(TScriptButton::Next), TypeStep(0, "9"),
                       ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
    run.Run();
    EXPECT_TRUE(run.Form.Errors.empty());
    EXPECT_EQ(run.Form.ShowCount, 2);
    ASSERT_EQ(files.Files.count("/state.qvs"), 1u);
  }
  SavedRun run;
  run.Form.OpenDialogAnswers = {"/state.qvs"};
  run.Form.Script = {ClickStep(TScriptButton::Load), TypeStep(0, "4"),
                     ClickStep(TScriptButton::Back), ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_TRUE(run.Form.Errors.empty());
  // The first screen, then the loaded second one, then the first again after Back.
  EXPECT_EQ(run.Form.ShowCount, 3);
  const std::vector<std::string> modal = [&] {
    std::vector<std::string> lines;
    for (const std::string& line : run.Form.Log) {
      if (line.rfind("SetCaption", 0) == 0 || line.rfind("ModalResult", 0) == 0) {
        lines.push_back(line);
      }
    }
    return lines;
  }();
  EXPECT_EQ(modal, (Lines{"SetCaption 'First'", "ModalResult 1", "SetCaption 'Second'",
                          "ModalResult 7", "SetCaption 'First'", "ModalResult 2"}));
  EXPECT_EQ(run.Value("COUNT"), "4");
  EXPECT_EQ(run.RunTime.Transition->Quantities, Lines{"0"});
}

TEST(SavedStateButtons, FilesThatCannotBeReadOrBelongElsewhereAreIgnoredSilently) {
  FakeFileSystem files;
  const Bytes foreign = StateFile{.Stamp = 9}.Write().Bytes();
  files.Files["/foreign.qvs"] = std::string(foreign.begin(), foreign.end());
  files.Files["/locked.qvs"] = "x";
  files.RefuseOpen.insert("/locked.qvs");
  files.Files["/failing.qvs"] = std::string(100, 'x');
  files.FailReadAfter["/failing.qvs"] = 10;
  SavedRun run;
  run.Form.OpenDialogAnswers = {"/missing.qvs", "/locked.qvs", "/failing.qvs", "/foreign.qvs"};
  run.Form.Script = {ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Load),
                     ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Load),
                     ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_TRUE(run.Form.Errors.empty());
  EXPECT_EQ(run.Form.ShowCount, 1);
  EXPECT_EQ(run.Form.ModalResult, mrCancel);
  EXPECT_TRUE(run.RunTime.Finished);
}

TEST(SavedStateButtons, ATruncatedFileShowsTheErrorAndTheScreenStays) {
  FakeFileSystem files;
  const Bytes whole = StateFile().Write().Bytes();
  files.Files["/cut.qvs"] = std::string(whole.begin(), whole.begin() + 30);
  SavedRun run;
  run.Form.OpenDialogAnswers = {"/cut.qvs"};
  run.Form.Script = {ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Next),
                     ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_EQ(run.Form.Errors, Lines{"Read beyond the end."});
  // Next went on from the first screen as if nothing had been loaded.
  EXPECT_EQ(run.Form.Caption, "Second");
  EXPECT_EQ(run.RunTime.Transition->Quantities, Lines{"2"});
}

TEST(SavedStateButtons, AFailedSaveSaysWhyAndKeepsTheFileSavedBefore) {
  FakeFileSystem files;
  files.Files["/state.qvs"] = "saved before";
  files.FailClose.insert("/state.qvs");
  files.RefuseCreate.insert("/refused.qvs");
  SavedRun run;
  // The third Save's dialog is cancelled: nothing is said.
  run.Form.SaveDialogAnswers = {"/state.qvs", "/refused.qvs"};
  run.Form.Script = {ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Save),
                     ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_EQ(run.Form.Errors, (Lines{R"(Unable to save "/state.qvs": I/O error: scripted)",
                                    R"(Unable to save "/refused.qvs": Permission denied)"}));
  EXPECT_EQ(files.Files["/state.qvs"], "saved before");
  EXPECT_EQ(files.Files.count("/refused.qvs"), 0u);
  EXPECT_EQ(run.Form.ShowCount, 1);
}

// The real file system with one of its calls failing as a disk can make it fail: the old
// file stays whole, nothing is left beside it, and the user reads why.
TEST(SavedStateButtons, EverySaveFailureOfTheDiskIsShownWithTheFileAndTheReason) {
  struct Row {
    const char* Name;
    std::function<void(TPosixFileCalls&)> Fail;
    std::string Reason;
  };
  const std::vector<Row> rows = {
      {"no space left",
       [](TPosixFileCalls& calls) {
         calls.Write = [](int, const void*, std::size_t) -> ssize_t {
           errno = ENOSPC;
           return -1;
         };
       },
       "No space left on device"},
      {"an I/O error at the flush",
       [](TPosixFileCalls& calls) {
         calls.Fsync = [](int) {
           errno = EIO;
           return -1;
         };
       },
       "Input/output error"},
      {"a read-only file system",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EROFS;
           return -1;
         };
       },
       "Read-only file system"},
      {"no permission on the folder",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EACCES;
           return -1;
         };
       },
       "Permission denied"},
      {"a refused rename",
       [](TPosixFileCalls& calls) {
         calls.Rename = [](const char*, const char*) {
           errno = EACCES;
           return -1;
         };
       },
       "Permission denied"},
      {"a target the user may not write",
       [](TPosixFileCalls& calls) {
         calls.Access = [](const char*, int) {
           errno = EACCES;
           return -1;
         };
       },
       "Permission denied"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchFolder folder;
    const std::string path = folder.WriteFile("state.qvs", "saved before");
    SavedRun run;
    run.Form.SaveDialogAnswers = {path};
    run.Form.Script = {ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
    row.Fail(PosixFileCalls());
    run.Run();
    RestorePosixFileCalls();
    EXPECT_EQ(run.Form.Errors, Lines{"Unable to save \"" + path + "\": " + row.Reason});
    EXPECT_EQ(ReadWholeFile(path), "saved before");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
  }
}

// A file system whose every replacing save fails: the creation is refused with Reason, or
// the write is taken and its Close raises Raised.
class FailingFileSystem : public IFileSystem {
 public:
  FailingFileSystem() : Previous(SetFileSystem(this)) {}
  ~FailingFileSystem() override { SetFileSystem(Previous); }
  FailingFileSystem(const FailingFileSystem&) = delete;
  FailingFileSystem& operator=(const FailingFileSystem&) = delete;

  std::unique_ptr<IReadFile> OpenRead(const std::string&) override { return nullptr; }
  std::unique_ptr<IWriteFile> CreateWrite(const std::string&) override { return nullptr; }
  using IFileSystem::CreateReplacing;
  std::unique_ptr<IWriteFile> CreateReplacing(const std::string&, std::string& reason) override {
    if (!Raised) {
      reason = Reason;
      return nullptr;
    }
    return std::make_unique<RaisingFile>(Raised);
  }

  std::string Reason;
  std::function<void()> Raised;

 private:
  class RaisingFile : public IWriteFile {
   public:
    explicit RaisingFile(std::function<void()> raise) : Raise(std::move(raise)) {}
    void WriteBlock(const void*, std::size_t) override {}
    void Close() override { Raise(); }
    std::function<void()> Raise;
  };
  IFileSystem* Previous;
};

// File names and the reasons of a replaced file system are UTF-8; the message box reads
// Windows-1251 bytes.
TEST(SavedStateButtons, TheFailedSaveMessageIsInTheProgramsCodePage) {
  struct Row {
    const char* Name;
    std::string FileName;
    std::string Reason;
    std::function<void()> Raised;
    std::string Message;
  };
  const std::vector<Row> rows = {
      {"a refused creation", "/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.qvs",
       "\xD0\x9E\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBD\xD0\xBE \xD0\xB2 "
       "\xD0\xB4\xD0\xBE\xD1\x81\xD1\x82\xD1\x83\xD0\xBF\xD0\xB5",
       nullptr,
       "Unable to save \"/\xCE\xF2\xF7\xB8\xF2.qvs\": \xCE\xF2\xEA\xE0\xE7\xE0\xED\xEE \xE2 "
       "\xE4\xEE\xF1\xF2\xF3\xEF\xE5"},
      {"a disk error at the close", "/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.qvs", "",
       [] {
         throw EInOutError(
             "I/O error: \xD0\x9D\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB5\xD1\x81\xD1\x82\xD0\xB0");
       },
       "Unable to save \"/\xCE\xF2\xF7\xB8\xF2.qvs\": I/O error: \xCD\xE5\xF2 "
       "\xEC\xE5\xF1\xF2\xE0"},
      {"characters the code page lacks", "/data/\xE6\x97\xA5.qvs", "Ger\xC3\xA4t voll", nullptr,
       "Unable to save \"/data/?.qvs\": Ger?t voll"},
      {"a failure of the program keeps its own text", "/\xD0\x9E.qvs", "",
       [] { throw Exception("\xCE\xF8\xE8\xE1\xEA\xE0"); },
       "Unable to save \"/\xCE.qvs\": \xCE\xF8\xE8\xE1\xEA\xE0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    FailingFileSystem files;
    files.Reason = row.Reason;
    files.Raised = row.Raised;
    SavedRun run;
    run.Form.SaveDialogAnswers = {row.FileName};
    run.Form.Script = {ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
    run.Run();
    EXPECT_EQ(run.Form.Errors, Lines{row.Message});
  }
}

TEST(SavedStateButtons, AReadOnlyTargetIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  ScratchFolder folder;
  const std::string path = folder.WriteFile("state.qvs", "saved before");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  SavedRun run;
  run.Form.SaveDialogAnswers = {path};
  run.Form.Script = {ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_EQ(run.Form.Errors, Lines{"Unable to save \"" + path + "\": Permission denied"});
  EXPECT_EQ(ReadWholeFile(path), "saved before");
}

// Bytes read through the real file system, counted.
class CountingFileSystem : public IFileSystem {
 public:
  CountingFileSystem() : Real(&FileSystem()), Previous(SetFileSystem(this)) {}
  ~CountingFileSystem() override { SetFileSystem(Previous); }
  CountingFileSystem(const CountingFileSystem&) = delete;
  CountingFileSystem& operator=(const CountingFileSystem&) = delete;

  std::unique_ptr<IReadFile> OpenRead(const std::string& path) override {
    std::unique_ptr<IReadFile> file = Real->OpenRead(path);
    if (!file) return nullptr;
    return std::make_unique<CountedFile>(std::move(file), BytesRead);
  }
  std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) override {
    return Real->CreateWrite(path);
  }

  std::uint64_t BytesRead = 0;

 private:
  class CountedFile : public IReadFile {
   public:
    CountedFile(std::unique_ptr<IReadFile> file, std::uint64_t& count)
        : File(std::move(file)), Count(count) {}
    std::uint64_t Size() override { return File->Size(); }
    void ReadBlock(void* destination, std::size_t count) override {
      File->ReadBlock(destination, count);
      Count += count;
    }
    std::unique_ptr<IReadFile> File;
    std::uint64_t& Count;
  };
  IFileSystem* Real;
  IFileSystem* Previous;
};

TEST(SavedStateButtons, AFileOfAnotherSchemeIsRefusedAfterItsStamp) {
  ScratchFolder folder;
  const Bytes foreign = StateFile{.Stamp = 9}.Write().Bytes();
  const std::string path =
      folder.WriteFile("foreign.qvs", std::string(foreign.begin(), foreign.end()));
  // As large as a stream can be, without taking the disk space.
  ASSERT_EQ(::truncate(path.c_str(), TSpecDataStream::MaxSize), 0);
  CountingFileSystem files;
  SavedRun run;
  run.Form.OpenDialogAnswers = {path};
  run.Form.Script = {ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_TRUE(run.Form.Errors.empty());
  EXPECT_EQ(run.Form.ShowCount, 1);
  EXPECT_EQ(files.BytesRead, 4u);
}

TEST(SavedStateButtons, ANamedPipeOrAFolderIsIgnoredLikeAMissingFile) {
  ScratchFolder folder;
  const std::string pipe = folder.File("pipe.qvs");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  SavedRun run;
  run.Form.OpenDialogAnswers = {pipe, folder.Path().string()};
  run.Form.Script = {ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Load),
                     ClickStep(TScriptButton::Close)};
  run.Run();
  EXPECT_TRUE(run.Form.Errors.empty());
  EXPECT_EQ(run.Form.ShowCount, 1);
}

TEST(SavedStateButtons, SavingTwiceToOneNameOverwritesIt) {
  FakeFileSystem files;
  SavedRun run;
  run.Form.SaveDialogAnswers = {"/state.qvs", "/state.qvs"};
  run.Form.Script = {ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Next),
                     ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)};
  run.Run();
  SavedRun expected;
  expected.StandOnTheSecondScreen();
  TSpecDataStream stream;
  expected.RunTime.SaveState(stream);
  const Bytes bytes = BytesOf(stream);
  EXPECT_EQ(files.Files["/state.qvs"], std::string(bytes.begin(), bytes.end()));
}

}  // namespace
