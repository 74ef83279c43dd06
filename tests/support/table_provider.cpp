#include "tests/support/table_provider.h"

#include "expr/typecvt.h"

namespace {

std::string Joined(const std::string& name, const std::vector<std::string>& params) {
  std::string text = name + "(";
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (i > 0) text += ',';
    text += params[i];
  }
  return text + ")";
}

}  // namespace

bool TTableProvider::IsFunction(const std::string& Name) {
  if (Logging) Log.push_back("IsFunction " + Name);
  return Functions.count(Name) != 0;
}

bool TTableProvider::IsVariable(const std::string& Name) {
  if (Logging) Log.push_back("IsVariable " + Name);
  return Variables.count(Name) != 0;
}

void TTableProvider::CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                                  std::string& Result) {
  if (Logging) Log.push_back("CallFunction " + Joined(Name, Params));
  auto it = Functions.find(Name);
  if (it != Functions.end()) Result = it->second(Params);
}

void TTableProvider::GetVariable(const std::string& Name, std::string& Result) {
  if (Logging) Log.push_back("GetVariable " + Name);
  auto it = Variables.find(Name);
  if (it != Variables.end()) Result = it->second;
}

bool TTableProvider::ReadVariable(const std::string& Name, std::string& Result) {
  if (Logging) Log.push_back("IsVariable " + Name);
  auto it = Variables.find(Name);
  if (it == Variables.end()) return false;
  if (Logging) Log.push_back("GetVariable " + Name);
  Result = it->second;
  return true;
}

TTableProvider::Function EchoFunction(const std::string& name) {
  return
      [name](const std::vector<std::string>& params) { return QuoteString(Joined(name, params)); };
}
