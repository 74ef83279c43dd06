#pragma once

// Section writers for the template part of a scheme: A1 languages, A2 service strings,
// A3 variables, A4 questions with their answers, A7 screens, A8 decision points and A9 actions,
// in exactly the record layouts the readers take. Tests build schemes field by field with the
// record structs (members default to an empty record); the sample scheme and the benchmarks
// build whole templates. Resources (A5) and report templates (A6) have writers of their own:
// WriteTemplate takes their sections as ready-made bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/schemewriter.h"

// One multilingual record: (language key, text) pairs.
using MuiRecord = std::vector<MuiEntry>;

// A1.
struct LanguageRecord {
  std::int32_t Id = 0;
  std::string Name;
};
struct LanguagesSection {
  std::vector<LanguageRecord> Languages;
  std::uint8_t Current = 0;
  std::uint8_t Default = 0;
};
void WriteLanguages(SchemeWriter& out, const LanguagesSection& section);

// A2: Word count, then one multilingual record per service string.
void WriteServiceStrings(SchemeWriter& out, const std::vector<MuiRecord>& strings);

// A3.
struct VariableRecord {
  std::string Name;
  std::uint8_t Type = 0;
  std::string Value;
};
void WriteVariable(SchemeWriter& out, const VariableRecord& variable);
// Int count, then the records.
void WriteVariables(SchemeWriter& out, const std::vector<VariableRecord>& variables);

// A4.
struct AnswerRecord {
  MuiRecord Title;
  MuiRecord Description;
  std::string Value;
  std::string Condition;
};
struct QuestionRecord {
  MuiRecord Title;
  std::string Variable;
  MuiRecord Description;
  std::uint8_t Kind = 0;
  std::string FloatMin;
  std::string FloatMax;
  std::string IntMin;
  std::string IntMax;
  std::vector<AnswerRecord> Answers;
};
void WriteAnswer(SchemeWriter& out, const AnswerRecord& answer);
// The record with a Word answer count and the answer records.
void WriteQuestion(SchemeWriter& out, const QuestionRecord& question);
void WriteQuestions(SchemeWriter& out, const std::vector<QuestionRecord>& questions);

// A7.
struct ScreenRecord {
  MuiRecord Title;
  MuiRecord Description;
  std::vector<std::uint16_t> Questions;
};
void WriteScreen(SchemeWriter& out, const ScreenRecord& screen);
void WriteScreens(SchemeWriter& out, const std::vector<ScreenRecord>& screens);

// A8: the conditions of the conditional options in file order.
struct DecisionPointRecord {
  std::string Name;
  std::vector<std::string> Conditions;
};
void WriteDecisionPoint(SchemeWriter& out, const DecisionPointRecord& decisionPoint);
void WriteDecisionPoints(SchemeWriter& out, const std::vector<DecisionPointRecord>& decisionPoints);

// A9.
struct ActionRecord {
  std::uint8_t Kind = 0;
  std::string Variable;
  std::string NewValue;
  std::string ProductCode;
  std::string Quantity;
};
void WriteAction(SchemeWriter& out, const ActionRecord& action);
void WriteActions(SchemeWriter& out, const std::vector<ActionRecord>& actions);

// A whole template, A1 to A9. The resource and report sections are taken as written by their
// own writers; left empty they are written as a count of 0.
struct TemplateRecord {
  LanguagesSection Languages;
  std::vector<MuiRecord> ServiceStrings;
  std::vector<VariableRecord> Variables;
  std::vector<QuestionRecord> Questions;
  SchemeWriter ResourceSection;
  SchemeWriter ReportSection;
  std::vector<ScreenRecord> Screens;
  std::vector<DecisionPointRecord> DecisionPoints;
  std::vector<ActionRecord> Actions;
};
void WriteTemplate(SchemeWriter& out, const TemplateRecord& record);
