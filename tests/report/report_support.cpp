#include "tests/report/report_support.h"

#include "model/pricelist.h"
#include "platform/programs.h"

std::unique_ptr<TSpecTemplate> OfferTemplate(const std::vector<TestProduct>& products,
                                             const std::vector<TestVariable>& variables) {
  auto templ = std::make_unique<TSpecTemplate>();
  for (const TestProduct& spec : products) {
    TSpecProduct* product = templ->PriceList()->AddProduct();
    product->Code = spec.Code;
    product->Name.SetCurrentText(spec.Name);
    product->Price = spec.Price;
    product->PriceWithTaxes = spec.PriceWithTaxes;
    product->OrderingIndex = spec.OrderingIndex;
    product->CategoryCode = spec.CategoryCode;
    product->Prefix = spec.Prefix;
  }
  for (const TestVariable& spec : variables) templ->AddVariable(spec.Name, spec.Type, spec.Value);
  return templ;
}

RecordingSpreadsheet::RecordingSpreadsheet() {
  RegisterDdeService("Excel", this);
}

RecordingSpreadsheet::~RecordingSpreadsheet() {
  UnregisterDdeService(this);
}

bool RecordingSpreadsheet::AcceptTopic(const std::string& topic) {
  return topic == "System" || topic == "[Book1]Sheet1";
}

TDdeExecuteResult RecordingSpreadsheet::Execute(const std::string&, const std::string& command) {
  if (OnExecute) OnExecute(command);
  Commands.push_back(command);
  return TDdeExecuteResult::Accepted;
}

std::optional<std::string> RecordingSpreadsheet::Request(const std::string&,
                                                         const std::string& item) {
  if (item == "Status") return "Ready";
  if (item == "Selection") return "[Book1]Sheet1!R1C1";
  return std::nullopt;
}

ScriptedExcelHost::ScriptedExcelHost() {
  TExcelHooks hooks;
  // Conversations reach whatever server the test registered as "Excel".
  hooks.NewConversation = [] { return std::make_unique<TDdeClientConv>(); };
  hooks.RunningProcesses = [this] {
    std::vector<std::string> names = {"bash"};
    if (Running) names.push_back("EXCEL.EXE");
    return names;
  };
  hooks.StartProgram = [this](const std::string& commandLine) -> std::uint32_t {
    Started.push_back(commandLine);
    FSleepsSinceStart = 0;
    if (AppearAfterSleeps == 0) Running = true;
    return ProgramStart::kStarted;
  };
  hooks.QueryClassValue = [this](const std::string& key) -> std::optional<std::string> {
    const auto found = ClassValues.find(key);
    if (found == ClassValues.end()) return std::nullopt;
    return found->second;
  };
  hooks.Sleep = [this](std::uint32_t milliseconds) {
    Sleeps.push_back(milliseconds);
    if (FSleepsSinceStart >= 0 && ++FSleepsSinceStart == AppearAfterSleeps) Running = true;
  };
  hooks.ProcessMessages = [] {};
  hooks.ErrorBox = [this](const std::string& text, const std::string& caption) {
    Boxes.push_back(caption + ": " + text);
    if (OnBox) OnBox();
  };
  hooks.FileExists = [this](const std::string& name) { return Files.count(name) > 0; };
  hooks.DeleteFile = [this](const std::string& name) {
    Deleted.push_back(name);
    return Files.erase(name) > 0;
  };
  Previous = SetExcelHooks(std::move(hooks));
}

ScriptedExcelHost::~ScriptedExcelHost() {
  SetExcelHooks(std::move(Previous));
}

void ScriptedExcelHost::RegisterExcel() {
  ClassValues[".xls"] = "Excel.Sheet.8";
  ClassValues["Excel.Sheet.8\\shell\\Open\\command"] = "\"C:\\Office\\EXCEL.EXE\" /e";
  Files.insert("C:\\OFFICE\\EXCEL.EXE");
}
