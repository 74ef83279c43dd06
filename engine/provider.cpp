// The provider of the run's variables and the wizard's twenty functions.
#include "engine/runtime.h"

bool TSpecEvalProvider::IsFunction(const std::string& Name) {
  return IsTableFunction(Name, kWizardFunctionCount);
}

bool TSpecEvalProvider::IsVariable(const std::string& Name) {
  return RunTime->Template->IndexOfVariable(Name) >= 0;
}

void TSpecEvalProvider::CallFunction(const std::string& Name,
                                     const std::vector<std::string>& Params, std::string& Result) {
  CallTableFunction(*this, kWizardFunctionCount, Name, Params, Result);
}

void TSpecEvalProvider::GetVariable(const std::string& Name, std::string& Result) {
  Result.clear();
  const TSpecVariable* variable = RunTime->Template->FindVariable(Name);
  if (!variable) return;
  // The store keeps texts as they were given; a value takes its declared type only here.
  Result = TypeCast(RunTime->Transition->GetValue(Name), variable->Type);
}

bool TSpecEvalProvider::ReadVariable(const std::string& Name, std::string& Result) {
  const TSpecVariable* variable = RunTime->Template->FindVariable(Name);
  if (!variable) return false;
  Result.clear();
  Result = TypeCast(RunTime->Transition->GetValue(Name), variable->Type);
  return true;
}

long double TSpecEvalProvider::ProductQuantity(const std::string& Code) {
  return RunTime->Transition->GetQuantity(Code);
}

void TSpecEvalProvider::ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) {
  RunTime->ItemInfo(Code, N, Result);
}

std::int32_t TSpecEvalProvider::ItemCount() {
  return RunTime->Transition->ItemCount();
}

void TSpecEvalProvider::Stat(std::int32_t Kind, std::string& Result) {
  RunTime->Stat(Kind, Result);
}

void TSpecEvalProvider::FirstItem(std::string& Result) {
  RunTime->FirstItem(Result);
}

void TSpecEvalProvider::NextItem(std::string& Result) {
  RunTime->NextItem(Result);
}
