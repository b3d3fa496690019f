// An operator for tests: answers message boxes from a script and records everything a run
// shows, so a test can assert on lines, verdicts, boxes and titles.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/operator.h"

namespace korvex::testing {

struct RecordedBox {
  std::string text;
  shell::MessageKind kind;
  bool okOnly;
  bool answer;
};

class ScriptedOperator : public shell::Operator {
 public:
  // Answers for Yes/No boxes, in order; when empty, `defaultAnswer` is used.
  std::deque<bool> answers;
  bool defaultAnswer = true;
  // Answers for the file dialog, in order; when empty the dialog is cancelled.
  std::deque<std::optional<std::string>> fileChoices;
  // Called on every ProcessMessages, e.g. to press Stop at a chosen moment.
  std::function<void()> onProcessMessages;
  // Answers for the port dialog, in order; when empty the dialog is cancelled. A custom
  // handler, when set, answers instead (e.g. to press Scan or change the checked entry).
  std::deque<std::optional<shell::PortChoice>> portChoices;
  std::function<std::optional<shell::PortChoice>(shell::PortDialogState&, const shell::PortRescan&)>
      onChoosePort;

  std::vector<RecordedBox> boxes;
  std::vector<std::string> descriptions;
  std::vector<std::string> notices;
  std::vector<bool> descriptionEnabled;
  std::vector<std::string> titles;
  std::vector<std::string> statusBarFile;
  std::vector<std::string> statusBarPort;
  std::vector<bool> waitDialog;
  int processMessagesCalls = 0;
  int fileDialogCalls = 0;
  std::vector<std::string> dialogPresets;  // the preset name of every file dialog shown
  // Every port dialog as it was first shown.
  std::vector<shell::PortDialogState> portDialogs;

  bool ShowMessageBox(const std::string& text, shell::MessageKind kind, bool okOnly) override;
  void ProcessMessages() override;
  std::optional<std::string> ChooseFirmwareFile(const std::string& presetName) override;
  void ShowDescription(const std::string& text) override { descriptions.push_back(text); }
  void SetDescriptionEnabled(bool enabled) override { descriptionEnabled.push_back(enabled); }
  void StatusPanelChanged(const display::TKVStatus&) override {}
  void SetApplicationTitle(const std::string& title) override { titles.push_back(title); }
  void SetStatusBarFile(const std::string& text) override { statusBarFile.push_back(text); }
  void SetStatusBarPort(const std::string& text) override { statusBarPort.push_back(text); }
  void ShowWaitDialog(bool visible) override { waitDialog.push_back(visible); }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  std::optional<shell::PortChoice> ChoosePort(shell::PortDialogState& state,
                                              const shell::PortRescan& rescan) override;
};

}  // namespace korvex::testing
