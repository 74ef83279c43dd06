#pragma once

// A TEvalProvider served from tables, for tests, benchmarks and the fuzz target. Every call of
// the four provider operations is appended to Log in order ("IsVariable A", "GetVariable A",
// "IsFunction F", "CallFunction F(1,2)"), so a test can check what the evaluator asked.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "expr/eval.h"

class TTableProvider : public TEvalProvider {
 public:
  using Function = std::function<std::string(const std::vector<std::string>&)>;

  bool IsFunction(const std::string& Name) override;
  bool IsVariable(const std::string& Name) override;
  void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                    std::string& Result) override;
  void GetVariable(const std::string& Name, std::string& Result) override;
  // One look-up for both questions; logged as the two.
  bool ReadVariable(const std::string& Name, std::string& Result) override;

  // Names are stored as given; the evaluator asks in upper case.
  std::map<std::string, std::string> Variables;
  std::map<std::string, Function> Functions;
  // When false, nothing is logged (benchmarks).
  bool Logging = true;
  std::vector<std::string> Log;
};

// A function for the table that answers the string constant of its call as it arrived, "F(a,b)"
// with the argument texts (shows their order and form).
TTableProvider::Function EchoFunction(const std::string& name);
