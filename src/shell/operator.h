// Everything a run needs from a person and a screen. The Qt window, the terminal front end
// and the scripted operator of the tests each implement it; the core never draws or asks
// anything itself.
#pragma once

#include <optional>
#include <string>

#include "display/kv_status.h"
#include "shell/message_pump.h"
#include "shell/port_choice.h"

namespace korvex::shell {

// kWarning: a Yes/No question about a risky step (an older program over a newer one).
enum class MessageKind { kError, kInformation, kConfirmation, kWarning };

// The status panel reports its changes and the title it derives through StatusListener.
class Operator : public display::StatusListener, public MessagePump {
 public:
  virtual ~Operator() = default;

  // A modal message box. okOnly: one OK button, result false. Otherwise Yes/No, true on Yes;
  // closing the box any other way counts as No.
  virtual bool ShowMessageBox(const std::string& text, MessageKind kind, bool okOnly) = 0;

  // ProcessMessages (from MessagePump) lets the front end handle pending input inside long
  // loops.

  // The firmware file dialog, preset with `presetName`; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFirmwareFile(const std::string& presetName) = 0;

  // The firmware description label of the main window (empty text clears it).
  virtual void ShowDescription(const std::string& text) = 0;
  // Shows the description label normally (true) or greyed (false, a file that is not chosen).
  virtual void SetDescriptionEnabled(bool enabled) { (void)enabled; }

  // The two status-bar panels: the firmware file path and the port (with its rate).
  virtual void SetStatusBarFile(const std::string& text) = 0;
  virtual void SetStatusBarPort(const std::string& text) = 0;

  // A note for the operator that needs no answer and must not hold up an unattended run
  // (the terminal prints an INFO: line, the window a status line).
  virtual void ShowNotice(const std::string& text) { (void)text; }

  // The non-modal "Wait..." dialog shown while the panel restarts.
  virtual void ShowWaitDialog(bool visible) = 0;

  // An operation starts (true: lock every control except Stop, which acts only when
  // `stopActive`; there is nothing to stop while the about text is up) or ends (false:
  // unlock; `stopActive` is then false).
  virtual void SetOperationRunning(bool running, bool stopActive) {
    (void)running;
    (void)stopActive;
  }

  // The modal port dialog. The front end shows `state`, lets the operator check an entry,
  // toggle Fast RS and press Scan (call `rescan`, which updates `state`), and returns the
  // checked port with the Fast RS box on OK (only possible while state.OkEnabled()), or
  // nullopt on Cancel, Escape or the close box. A front end without a port dialog cancels.
  virtual std::optional<PortChoice> ChoosePort(PortDialogState& state, const PortRescan& rescan) {
    (void)state;
    (void)rescan;
    return std::nullopt;
  }
};

}  // namespace korvex::shell
