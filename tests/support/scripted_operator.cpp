#include "support/scripted_operator.h"

namespace korvex::testing {

bool ScriptedOperator::ShowMessageBox(const std::string& text, shell::MessageKind kind,
                                      bool okOnly) {
  bool answer = false;
  if (!okOnly) {
    answer = defaultAnswer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
  }
  boxes.push_back({text, kind, okOnly, answer});
  return answer;
}

void ScriptedOperator::ProcessMessages() {
  ++processMessagesCalls;
  if (onProcessMessages) onProcessMessages();
}

std::optional<std::string> ScriptedOperator::ChooseFirmwareFile(const std::string& presetName) {
  ++fileDialogCalls;
  dialogPresets.push_back(presetName);
  if (fileChoices.empty()) return std::nullopt;
  auto choice = fileChoices.front();
  fileChoices.pop_front();
  return choice;
}

std::optional<shell::PortChoice> ScriptedOperator::ChoosePort(shell::PortDialogState& state,
                                                              const shell::PortRescan& rescan) {
  portDialogs.push_back(state);
  if (onChoosePort) return onChoosePort(state, rescan);
  if (portChoices.empty()) return std::nullopt;
  auto choice = portChoices.front();
  portChoices.pop_front();
  return choice;
}

}  // namespace korvex::testing
