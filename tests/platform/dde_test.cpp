#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "platform/programs.h"
#include "platform/shell.h"

namespace {

// A server that records what reaches it and answers from tables.
class ScriptedServer : public TDdeServer {
 public:
  bool AcceptTopic(const std::string& topic) override { return SameTextAscii(topic, "System"); }
  TDdeExecuteResult Execute(const std::string& topic, const std::string& command) override {
    Executed.push_back(topic + ":" + command);
    if (command == "[QUIT]") DisconnectClients();
    if (auto said = Messages.find(command); said != Messages.end()) {
      SetRejectionMessage(said->second);
      return TDdeExecuteResult::Rejected;
    }
    auto it = Answers.find(command);
    return it == Answers.end() ? TDdeExecuteResult::Accepted : it->second;
  }
  std::optional<std::string> Request(const std::string&, const std::string& item) override {
    auto it = Items.find(item);
    if (it == Items.end()) return std::nullopt;
    return it->second;
  }

  std::vector<std::string> Executed;
  std::map<std::string, TDdeExecuteResult> Answers;
  // Commands rejected with a message.
  std::map<std::string, std::string> Messages;
  std::map<std::string, std::string> Items;
};

struct Notifications {
  int Opened = 0;
  int Closed = 0;
  void Attach(TDdeClientConv& conv) {
    conv.OnOpen = [this] { ++Opened; };
    conv.OnClose = [this] { ++Closed; };
  }
};

TEST(DdeBroker, ServicesAreFoundWithoutRegardToCaseAndNamesAreUnique) {
  ScriptedServer first, second;
  ASSERT_TRUE(RegisterDdeService("Excel", &first));
  EXPECT_FALSE(RegisterDdeService("EXCEL", &second));
  EXPECT_FALSE(RegisterDdeService("", &second));
  EXPECT_EQ(FindDdeService("excel"), &first);
  EXPECT_EQ(FindDdeService("Exce"), nullptr);
  UnregisterDdeService(&first);
  EXPECT_EQ(FindDdeService("Excel"), nullptr);
  ASSERT_TRUE(RegisterDdeService("Excel", &second));
}  // second unregisters itself when destroyed

TEST(DdeBroker, ADestroyedServerLeavesTheBrokerAndEndsItsConversations) {
  TDdeClientConv conv;
  Notifications events;
  events.Attach(conv);
  {
    ScriptedServer server;
    ASSERT_TRUE(RegisterDdeService("Excel", &server));
    conv.SetLink("Excel", "System");
    ASSERT_TRUE(conv.OpenLink());
  }
  EXPECT_EQ(FindDdeService("Excel"), nullptr);
  EXPECT_FALSE(conv.IsOpen());
  EXPECT_EQ(events.Closed, 1);
  EXPECT_FALSE(conv.ExecuteMacro("[NEW(1)]", false));
}

TEST(DdeConversation, ExecutesAndRequestsOnItsTopicWithTheServersAnswers) {
  ScriptedServer server;
  ASSERT_TRUE(RegisterDdeService("Excel", &server));
  server.Answers["[BUSY]"] = TDdeExecuteResult::Busy;
  server.Answers["[BAD]"] = TDdeExecuteResult::Rejected;
  server.Items["Status"] = "Ready";
  TDdeClientConv conv;
  Notifications events;
  events.Attach(conv);

  EXPECT_FALSE(conv.ExecuteMacro("[NEW(1)]", false)) << "no conversation yet";
  EXPECT_EQ(conv.RequestData("Status"), std::nullopt);
  conv.SetLink("excel", "system");
  ASSERT_TRUE(conv.OpenLink());
  EXPECT_EQ(events.Opened, 1);
  EXPECT_TRUE(conv.ExecuteMacro("[NEW(1)]", false));
  EXPECT_TRUE(conv.ExecuteMacro("[NEW(1)]", true));
  EXPECT_FALSE(conv.WaitStat()) << "the in-process server completes before it answers";
  EXPECT_FALSE(conv.ExecuteMacro("[BUSY]", false));
  EXPECT_FALSE(conv.ExecuteMacro("[BAD]", true));
  EXPECT_EQ(conv.RequestData("Status"), "Ready");
  EXPECT_EQ(conv.RequestData("Nothing"), std::nullopt);
  EXPECT_EQ(server.Executed, (std::vector<std::string>{"system:[NEW(1)]", "system:[NEW(1)]",
                                                       "system:[BUSY]", "system:[BAD]"}));

  // A new link closes the open conversation; a topic the server refuses cannot be opened.
  conv.Launch = [](const std::string&) { return 0u; };
  conv.SetLink("Excel", "[Book1]Sheet1");
  EXPECT_EQ(events.Closed, 1);
  EXPECT_FALSE(conv.OpenLink());
  EXPECT_EQ(events.Opened, 1);
  conv.CloseLink();
  EXPECT_EQ(events.Closed, 1) << "closing a closed conversation notifies nobody";
}

// A command the server rejected has reached it, unlike one it was too busy for or one sent
// without a conversation; the rejection carries the server's message, and only until the next
// command.
TEST(DdeConversation, ARejectionIsToldApartAndCarriesTheServersMessage) {
  ScriptedServer server;
  ASSERT_TRUE(RegisterDdeService("Excel", &server));
  server.Answers["[BUSY]"] = TDdeExecuteResult::Busy;
  server.Answers["[BAD]"] = TDdeExecuteResult::Rejected;
  server.Messages["[SAVE]"] = "Unable to save \"/book.xlsx\": Permission denied";
  TDdeClientConv conv;
  EXPECT_FALSE(conv.ExecuteMacro("[SAVE]", false));
  EXPECT_FALSE(conv.Refused()) << "no conversation yet";
  conv.SetLink("Excel", "System");
  ASSERT_TRUE(conv.OpenLink());
  struct Row {
    const char* Command;
    bool Accepted;
    bool Refused;
    std::string Message;
  };
  const Row rows[] = {
      {"[SAVE]", false, true, "Unable to save \"/book.xlsx\": Permission denied"},
      {"[BUSY]", false, false, ""},
      {"[SAVE]", false, true, "Unable to save \"/book.xlsx\": Permission denied"},
      {"[BAD]", false, true, ""},
      {"[NEW(1)]", true, false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Command);
    EXPECT_EQ(conv.ExecuteMacro(row.Command, false), row.Accepted);
    EXPECT_EQ(conv.Refused(), row.Refused);
    EXPECT_EQ(conv.RefusalMessage(), row.Message);
  }
}

TEST(DdeConversation, AServerThatQuitsEndsTheConversationDuringTheCommand) {
  ScriptedServer server;
  ASSERT_TRUE(RegisterDdeService("Excel", &server));
  TDdeClientConv conv;
  Notifications events;
  events.Attach(conv);
  conv.SetLink("Excel", "System");
  ASSERT_TRUE(conv.OpenLink());
  EXPECT_TRUE(conv.ExecuteMacro("[QUIT]", false));
  EXPECT_FALSE(conv.IsOpen());
  EXPECT_EQ(events.Closed, 1);
}

TEST(DdeConversation, WithoutAServerItStartsTheServiceApplicationAndTriesOnceMore) {
  struct Row {
    const char* name;
    std::string application;
    unsigned startResult;
    bool registersServer;
    std::string expectedLine;
    bool opens;
  };
  const Row rows[] = {
      {"no application: service and topic", "", 33, true, "Excel System", true},
      {"the service application", "C:\\Office\\EXCEL", 33, true, "C:\\Office\\EXCEL", true},
      {"a failed start is not retried", "EXCEL", 2, true, "EXCEL", false},
      {"a start that brings no server", "EXCEL", 42, false, "EXCEL", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server;
    std::vector<std::string> lines;
    TDdeClientConv conv;
    Notifications events;
    events.Attach(conv);
    conv.ServiceApplication = row.application;
    conv.Launch = [&](const std::string& line) {
      lines.push_back(line);
      if (row.registersServer) RegisterDdeService("Excel", &server);
      return row.startResult;
    };
    conv.SetLink("Excel", "System");
    EXPECT_EQ(conv.OpenLink(), row.opens);
    EXPECT_EQ(lines, std::vector<std::string>{row.expectedLine});
    EXPECT_EQ(events.Opened, row.opens ? 1 : 0);
    UnregisterDdeService(&server);
  }
}

TEST(ProgramHost, CommandLinesAreSplitIntoWordsWithoutAShell) {
  struct Row {
    std::string line;
    std::vector<std::string> words;
  };
  const Row rows[] = {
      {"", {}},
      {"EXCEL.EXE", {"EXCEL.EXE"}},
      {"  a   b\tc ", {"a", "b", "c"}},
      {"\"C:\\Program Files\\EXCEL.EXE\" /e", {"C:\\Program Files\\EXCEL.EXE", "/e"}},
      {"\"say \"\"hi\"\"\" x", {"say \"hi\"", "x"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"; rm -rf / $(x)", {";", "rm", "-rf", "/", "$(x)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(SplitCommandLine(row.line), row.words);
  }
}

TEST(ProgramHost, TheSystemHostListsInProcessServersAndStartsNoShell) {
  ScriptedServer server;
  ASSERT_TRUE(RegisterDdeService("Excel", &server));
  std::vector<std::string> names = ProgramHost().RunningProcesses();
  EXPECT_NE(std::find(names.begin(), names.end(), "Excel.exe"), names.end());
  EXPECT_FALSE(ProgramHost().QueryClassValue(".xls").has_value());
  EXPECT_EQ(ProgramHost().StartProgram("/nonexistent/quorvane-no-such-program x", true),
            ProgramStart::kFileNotFound);
  EXPECT_EQ(ProgramHost().StartProgram("", true), ProgramStart::kFileNotFound);
  EXPECT_GT(ProgramHost().StartProgram("true", true), 31u);
  // A command line with shell syntax is one program name, not a script.
  EXPECT_EQ(ProgramHost().StartProgram("true;false", true), ProgramStart::kFileNotFound);
}

TEST(ShellSeam, ARecorderReplacesTheSilentShellWhileInstalled) {
  struct RecordingShell : IShell {
    std::vector<std::string> Opened;
    bool OpenFile(const std::string& path) override {
      Opened.push_back("file " + path);
      return true;
    }
    bool OpenUrl(const std::string& url) override {
      Opened.push_back("url " + url);
      return true;
    }
  } recorder;
  EXPECT_FALSE(ShellOpenFile("/tmp/x.xlsx"));
  IShell* previous = SetShell(&recorder);
  EXPECT_TRUE(ShellOpenFile("/tmp/x.xlsx"));
  EXPECT_TRUE(ShellOpenUrl("https://example.org/"));
  SetShell(previous);
  EXPECT_EQ(recorder.Opened,
            (std::vector<std::string>{"file /tmp/x.xlsx", "url https://example.org/"}));
}

}  // namespace
