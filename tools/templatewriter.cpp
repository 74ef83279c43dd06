#include "tools/templatewriter.h"

#include "platform/errors.h"

namespace {

template <typename Record, typename WriteOne>
void WriteSection(SchemeWriter& out, const std::vector<Record>& records, WriteOne writeOne) {
  out.IntCount(records.size());
  for (const Record& record : records) writeOne(out, record);
}

}  // namespace

void WriteLanguages(SchemeWriter& out, const LanguagesSection& section) {
  if (section.Languages.size() > 0xFF) throw Exception("Too many language records.");
  out.Byte(static_cast<std::uint8_t>(section.Languages.size()));
  for (const LanguageRecord& language : section.Languages) out.Int(language.Id).Str(language.Name);
  out.Byte(section.Current).Byte(section.Default);
}

void WriteServiceStrings(SchemeWriter& out, const std::vector<MuiRecord>& strings) {
  out.WordCount(strings.size());
  for (const MuiRecord& text : strings) out.Mui(text);
}

void WriteVariable(SchemeWriter& out, const VariableRecord& variable) {
  out.Str(variable.Name).Byte(variable.Type).Str(variable.Value);
}

void WriteVariables(SchemeWriter& out, const std::vector<VariableRecord>& variables) {
  WriteSection(out, variables, WriteVariable);
}

void WriteAnswer(SchemeWriter& out, const AnswerRecord& answer) {
  out.Mui(answer.Title).Mui(answer.Description).Str(answer.Value).Str(answer.Condition);
}

void WriteQuestion(SchemeWriter& out, const QuestionRecord& question) {
  out.Mui(question.Title).Str(question.Variable).Mui(question.Description).Byte(question.Kind);
  out.Str(question.FloatMin).Str(question.FloatMax).Str(question.IntMin).Str(question.IntMax);
  out.WordCount(question.Answers.size());
  for (const AnswerRecord& answer : question.Answers) WriteAnswer(out, answer);
}

void WriteQuestions(SchemeWriter& out, const std::vector<QuestionRecord>& questions) {
  WriteSection(out, questions, WriteQuestion);
}

void WriteScreen(SchemeWriter& out, const ScreenRecord& screen) {
  out.Mui(screen.Title).Mui(screen.Description).WordCount(screen.Questions.size());
  for (std::uint16_t index : screen.Questions) out.Word(index);
}

void WriteScreens(SchemeWriter& out, const std::vector<ScreenRecord>& screens) {
  WriteSection(out, screens, WriteScreen);
}

void WriteDecisionPoint(SchemeWriter& out, const DecisionPointRecord& decisionPoint) {
  out.Str(decisionPoint.Name).WordCount(decisionPoint.Conditions.size());
  for (const std::string& condition : decisionPoint.Conditions) out.Str(condition);
}

void WriteDecisionPoints(SchemeWriter& out,
                         const std::vector<DecisionPointRecord>& decisionPoints) {
  WriteSection(out, decisionPoints, WriteDecisionPoint);
}

void WriteAction(SchemeWriter& out, const ActionRecord& action) {
  out.Byte(action.Kind).Str(action.Variable).Str(action.NewValue).Str(action.ProductCode);
  out.Str(action.Quantity);
}

void WriteActions(SchemeWriter& out, const std::vector<ActionRecord>& actions) {
  WriteSection(out, actions, WriteAction);
}

void WriteTemplate(SchemeWriter& out, const TemplateRecord& record) {
  WriteLanguages(out, record.Languages);
  WriteServiceStrings(out, record.ServiceStrings);
  WriteVariables(out, record.Variables);
  WriteQuestions(out, record.Questions);
  if (record.ResourceSection.Size() == 0) {
    out.Int(0);
  } else {
    out.Append(record.ResourceSection);
  }
  if (record.ReportSection.Size() == 0) {
    out.Int(0);
  } else {
    out.Append(record.ReportSection);
  }
  WriteScreens(out, record.Screens);
  WriteDecisionPoints(out, record.DecisionPoints);
  WriteActions(out, record.Actions);
}
