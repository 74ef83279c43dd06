#include "tests/report/excel_fakes.h"

ScriptedExcelServer::ScriptedExcelServer() {
  if (TDdeServer* other = FindDdeService("Excel")) UnregisterDdeService(other);
  RegisterDdeService("Excel", this);
}

ScriptedExcelServer::~ScriptedExcelServer() {
  UnregisterDdeService(this);
}

bool ScriptedExcelServer::AcceptTopic(const std::string& topic) {
  Events.push_back("open " + topic);
  return topic == "System" || SheetTopics.empty() || SheetTopics.count(topic) > 0;
}

TDdeExecuteResult ScriptedExcelServer::Execute(const std::string& topic,
                                               const std::string& command) {
  Events.push_back("exec " + command);
  if (BusyNext > 0) {
    --BusyNext;
    return TDdeExecuteResult::Busy;
  }
  if (Rejected.count(command)) return TDdeExecuteResult::Rejected;
  if (auto it = RejectedSaying.find(command); it != RejectedSaying.end()) {
    SetRejectionMessage(it->second);
    return TDdeExecuteResult::Rejected;
  }
  Commands.push_back(command);
  Topics.push_back(topic);
  return TDdeExecuteResult::Accepted;
}

std::optional<std::string> ScriptedExcelServer::Request(const std::string&,
                                                        const std::string& item) {
  Events.push_back("request " + item);
  if (item == "Status") {
    if (NotReadyReplies > 0) {
      --NotReadyReplies;
      return std::string("Busy");
    }
    return StatusReply;
  }
  if (item == "Selection") return SelectionReply;
  return std::nullopt;
}

ScopedExcelHooks::ScopedExcelHooks() {
  TExcelHooks hooks;
  hooks.NewConversation = [this] {
    return NewConversation ? NewConversation() : std::make_unique<TDdeClientConv>();
  };
  hooks.RunningProcesses = [this] { return Processes; };
  hooks.StartProgram = [this](const std::string& line) {
    Started.push_back(line);
    if (OnStart) OnStart(line);
    return StartResult;
  };
  hooks.QueryClassValue = [this](const std::string& key) -> std::optional<std::string> {
    auto it = ClassValues.find(key);
    if (it == ClassValues.end()) return std::nullopt;
    return it->second;
  };
  hooks.Sleep = [this](std::uint32_t milliseconds) {
    Sleeps.push_back(milliseconds);
    Clock += std::chrono::milliseconds(milliseconds);
    if (OnSleep) OnSleep(milliseconds);
  };
  hooks.ProcessMessages = [this] {
    ++MessagePasses;
    Clock += Step;
  };
  hooks.ErrorBox = [this](const std::string& text, const std::string& caption) {
    ErrorBoxes.push_back(caption + ": " + text);
  };
  hooks.FileExists = [this](const std::string& name) { return Files.count(name) > 0; };
  hooks.DeleteFile = [this](const std::string& name) {
    Deleted.push_back(name);
    if (Undeletable.count(name)) return false;
    Files.erase(name);
    return true;
  };
  hooks.DecimalSeparator = [this] { return Separator; };
  hooks.Today = [this] { return TodayDate; };
  hooks.Now = [this] { return Clock; };
  Previous = SetExcelHooks(std::move(hooks));
}

ScopedExcelHooks::~ScopedExcelHooks() {
  SetExcelHooks(std::move(Previous));
}

void ScopedExcelHooks::SetReadyTimeout(std::chrono::milliseconds timeout) {
  ExcelHooks().ReadyTimeout = timeout;
}
