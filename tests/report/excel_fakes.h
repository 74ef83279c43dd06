#pragma once

// Stand-ins for the Excel client's far side and platform: a scripted spreadsheet server and
// hooks with a fake process list, program start, class registry, files and clock.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "report/excel.h"

// A spreadsheet registered as "Excel" while it lives (any other server of that name is
// unregistered first). It accepts every topic, records what reaches it and answers from its
// settings.
class ScriptedExcelServer : public TDdeServer {
 public:
  ScriptedExcelServer();
  ~ScriptedExcelServer() override;

  bool AcceptTopic(const std::string& topic) override;
  TDdeExecuteResult Execute(const std::string& topic, const std::string& command) override;
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override;

  // The executed commands in order.
  std::vector<std::string> Commands;
  // Everything in order: "open <topic>", "exec <command>", "request <item>".
  std::vector<std::string> Events;
  // The topic of each executed command.
  std::vector<std::string> Topics;

  // The next this many executes are answered busy.
  int BusyNext = 0;
  // Commands that are always rejected.
  std::set<std::string> Rejected;
  // Commands that are always rejected with a message, which the conversation hands on.
  std::map<std::string, std::string> RejectedSaying;
  // The next this many "Status" requests answer "Busy" before StatusReply is given.
  int NotReadyReplies = 0;
  std::optional<std::string> StatusReply = std::string("Ready");
  std::optional<std::string> SelectionReply = std::string("[Book1]Sheet1!R1C1");
  // Topics other than "System" that can be opened; empty: every topic.
  std::set<std::string> SheetTopics;
};

// Installs hooks for the clients created while it lives and restores the previous ones.
class ScopedExcelHooks {
 public:
  ScopedExcelHooks();
  ~ScopedExcelHooks();
  ScopedExcelHooks(const ScopedExcelHooks&) = delete;
  ScopedExcelHooks& operator=(const ScopedExcelHooks&) = delete;

  // The readiness deadline of clients created from now on.
  void SetReadyTimeout(std::chrono::milliseconds timeout);

  std::vector<std::string> Processes;
  // Every program start's command line; the start answers StartResult after OnStart ran.
  std::vector<std::string> Started;
  std::uint32_t StartResult = 33;
  std::function<void(const std::string&)> OnStart;
  std::map<std::string, std::string> ClassValues;
  std::set<std::string> Files;
  std::vector<std::string> Deleted;
  // Files that cannot be deleted.
  std::set<std::string> Undeletable;
  // "<caption>: <text>" of every error box.
  std::vector<std::string> ErrorBoxes;
  std::vector<std::uint32_t> Sleeps;
  std::function<void(std::uint32_t)> OnSleep;
  int MessagePasses = 0;
  char Separator = '.';
  std::chrono::year_month_day TodayDate{std::chrono::year(2026), std::chrono::month(12),
                                        std::chrono::day(10)};
  // The fake clock: every processing of messages advances it by Step, every sleep by its
  // length.
  std::chrono::steady_clock::time_point Clock{};
  std::chrono::milliseconds Step{100};
  // When set, makes the conversations in place of the plain one.
  std::function<std::unique_ptr<TDdeClientConv>()> NewConversation;

 private:
  TExcelHooks Previous;
};
