#include "platform/dde.h"

#include <algorithm>
#include <cstddef>

#include "platform/programs.h"

namespace {

struct ServiceEntry {
  std::string Name;
  TDdeServer* Server;
};

struct Broker {
  std::vector<ServiceEntry> Services;
  std::vector<TDdeClientConv*> Open;  // conversations that are connected
};

Broker& TheBroker() {
  static Broker broker;
  return broker;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

TDdeServer::~TDdeServer() {
  UnregisterDdeService(this);
}

void TDdeServer::DisconnectClients() {
  std::vector<TDdeClientConv*> clients;
  for (TDdeClientConv* conv : TheBroker().Open)
    if (conv->Server == this) clients.push_back(conv);
  for (TDdeClientConv* conv : clients) conv->ServerGone();
}

bool RegisterDdeService(const std::string& name, TDdeServer* server) {
  if (name.empty() || !server || FindDdeService(name)) return false;
  TheBroker().Services.push_back({name, server});
  return true;
}

void UnregisterDdeService(TDdeServer* server) {
  Broker& broker = TheBroker();
  std::erase_if(broker.Services, [server](const ServiceEntry& e) { return e.Server == server; });
  std::vector<TDdeClientConv*> clients;
  for (TDdeClientConv* conv : broker.Open)
    if (conv->Server == server) clients.push_back(conv);
  for (TDdeClientConv* conv : clients) conv->ServerGone();
}

TDdeServer* FindDdeService(const std::string& name) {
  for (const ServiceEntry& entry : TheBroker().Services)
    if (SameTextAscii(entry.Name, name)) return entry.Server;
  return nullptr;
}

std::vector<std::string> DdeServiceNames() {
  std::vector<std::string> names;
  for (const ServiceEntry& entry : TheBroker().Services) names.push_back(entry.Name);
  return names;
}

TDdeClientConv::TDdeClientConv() = default;

TDdeClientConv::~TDdeClientConv() {
  // No notification from a conversation that is going away: its owner is being destroyed.
  OnClose = nullptr;
  CloseLink();
}

bool TDdeClientConv::SetLink(const std::string& service, const std::string& topic) {
  CloseLink();
  FDdeService = service;
  FDdeTopic = topic;
  return true;
}

bool TDdeClientConv::OpenLink() {
  if (IsOpen()) return true;
  auto tryConnect = [this] {
    TDdeServer* server = FindDdeService(FDdeService);
    if (!server || !server->AcceptTopic(FDdeTopic)) return false;
    Server = server;
    TheBroker().Open.push_back(this);
    return true;
  };
  bool open = tryConnect();
  if (!open && !FDdeService.empty()) {
    const std::string line =
        ServiceApplication.empty() ? FDdeService + " " + FDdeTopic : ServiceApplication;
    const unsigned result =
        Launch ? Launch(line) : ProgramHost().StartProgram(line, /*minimised=*/true);
    if (result > 31) open = tryConnect();
  }
  if (open && OnOpen) OnOpen();
  return open;
}

void TDdeClientConv::CloseLink() {
  if (!IsOpen()) return;
  ServerGone();
}

void TDdeClientConv::ServerGone() {
  std::erase(TheBroker().Open, this);
  Server = nullptr;
  if (OnClose) OnClose();
}

bool TDdeClientConv::ExecuteMacro(const std::string& command, bool waitFlag) {
  FRefused = false;
  FRefusalMessage.clear();
  if (!IsOpen() || WaitStat()) return false;
  // The in-process server completes the command before it answers, so a transaction sent
  // with the wait flag is never left pending.
  (void)waitFlag;
  // The server stays: a command that quits it only ends the conversation.
  TDdeServer* server = Server;
  server->FRejectionMessage.clear();
  const TDdeExecuteResult result = server->Execute(FDdeTopic, command);
  if (result == TDdeExecuteResult::Rejected) {
    FRefused = true;
    FRefusalMessage = std::move(server->FRejectionMessage);
  }
  server->FRejectionMessage.clear();
  return result == TDdeExecuteResult::Accepted;
}

std::optional<std::string> TDdeClientConv::RequestData(const std::string& item) {
  if (!IsOpen() || WaitStat()) return std::nullopt;
  return Server->Request(FDdeTopic, item);
}

bool TDdeClientConv::WaitStat() const {
  return false;
}
