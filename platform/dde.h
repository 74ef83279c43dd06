#pragma once

// Dynamic Data Exchange inside the process: servers register under a service name with the
// broker, and client conversations reach them by service and topic to execute command texts
// and request items. Service and topic names are matched without regard to the case of Latin
// letters. Everything runs on the calling thread: an execute or a request is answered before
// the call returns. Texts on the wire are Windows-1251 bytes.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How a server answered an execute transaction.
enum class TDdeExecuteResult { Accepted, Busy, Rejected };

class TDdeClientConv;

// The far side of conversations. A server registers itself with RegisterDdeService and must
// be unregistered (or destroyed, which unregisters it) before it goes away.
class TDdeServer {
 public:
  TDdeServer() = default;
  virtual ~TDdeServer();
  TDdeServer(const TDdeServer&) = delete;
  TDdeServer& operator=(const TDdeServer&) = delete;

  // True when a conversation may be opened on the topic.
  virtual bool AcceptTopic(const std::string& topic) = 0;
  virtual TDdeExecuteResult Execute(const std::string& topic, const std::string& command) = 0;
  // The item's data as text, or nothing.
  virtual std::optional<std::string> Request(const std::string& topic, const std::string& item) = 0;

 protected:
  // Ends every open conversation with this server (each gets its close notification), as a
  // server program does when it quits.
  void DisconnectClients();
  // Says why the execute that is running will be answered Rejected: a message for the user
  // (Windows-1251) that the conversation hands to its client with the refusal.
  void SetRejectionMessage(std::string message) { FRejectionMessage = std::move(message); }

 private:
  friend class TDdeClientConv;
  std::string FRejectionMessage;
};

// Registers a server (not owned) under a name; false when the name is taken or empty.
bool RegisterDdeService(const std::string& name, TDdeServer* server);
// Ends the server's conversations and removes every name it is registered under.
void UnregisterDdeService(TDdeServer* server);
// The server of a name, or nullptr.
TDdeServer* FindDdeService(const std::string& name);
// The registered names, in the order of registration.
std::vector<std::string> DdeServiceNames();

// Runs a command line for the conversation's open link when no server answers; the program
// start's result (above 31 is success). Installed by programs.h's host; tests replace it.
using TDdeLaunchFunction = std::function<unsigned(const std::string& commandLine)>;

enum class TDataMode { ddeAutomatic, ddeManual };

// The client end of one conversation. The operations are virtual, so a test can script a
// conversation (a pending transaction, a failing open) around the real one.
class TDdeClientConv {
 public:
  TDdeClientConv();
  virtual ~TDdeClientConv();
  TDdeClientConv(const TDdeClientConv&) = delete;
  TDdeClientConv& operator=(const TDdeClientConv&) = delete;

  const std::string& DdeService() const { return FDdeService; }
  const std::string& DdeTopic() const { return FDdeTopic; }
  // The program started by OpenLink when no server answers; empty: service + " " + topic.
  std::string ServiceApplication;
  bool FormatChars = false;
  TDataMode ConnectMode = TDataMode::ddeManual;
  // Called after the conversation opened / closed.
  std::function<void()> OnOpen;
  std::function<void()> OnClose;
  // The program start used by OpenLink (the program host's unless replaced).
  TDdeLaunchFunction Launch;

  // Closes an open conversation and remembers service and topic; true.
  virtual bool SetLink(const std::string& service, const std::string& topic);
  // Connects to the remembered service and topic; when no server answers, starts the service
  // application minimised and, when that start succeeds, tries once more. True when open.
  virtual bool OpenLink();
  // Disconnects (nothing when not open); the close handler is called.
  virtual void CloseLink();
  // Executes a command; false without a conversation, while a transaction is pending, or
  // when the server refuses it (busy or rejected).
  virtual bool ExecuteMacro(const std::string& command, bool waitFlag);
  // After an ExecuteMacro that answered false: true when the server itself rejected the
  // command, having read it and carried it out as far as it went (sending it again would
  // repeat that); false when the command did not reach it (no conversation, a pending
  // transaction, a busy server).
  bool Refused() const { return FRefused; }
  // The server's message with that rejection; empty when it gave none.
  const std::string& RefusalMessage() const { return FRefusalMessage; }
  // The item's text; nothing without a conversation, while a transaction is pending, or when
  // the server has no data. The time-out of 10000 ms bounds a remote server; the in-process
  // one answers at once.
  virtual std::optional<std::string> RequestData(const std::string& item);
  // True while a transaction sent with the wait flag is pending.
  virtual bool WaitStat() const;
  bool IsOpen() const { return Server != nullptr; }

 private:
  friend class TDdeServer;
  friend void UnregisterDdeService(TDdeServer* server);
  // Called by the broker when the server ends the conversation.
  void ServerGone();

  std::string FDdeService;
  std::string FDdeTopic;
  TDdeServer* Server = nullptr;
  bool FRefused = false;
  std::string FRefusalMessage;
};

// Texts equal without regard to the case of Latin letters.
bool SameTextAscii(std::string_view a, std::string_view b);
