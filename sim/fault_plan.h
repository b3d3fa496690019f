// Faults the simulated panel can be told to show, all reproducible from one seed: lost
// requests and replies, damaged and late replies, deafness at some bit rates, refused
// connections, a wrong identification answer, a lost link token, a power failure, an
// operator who restarts the panel into its starter mid-run and FLASH writes refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::sim {

// Picks requests by their order: the n-th request the panel heard (counting from 1), or
// the n-th request with a given command byte, or every request with that command byte.
struct RequestSelector {
  std::optional<std::uint8_t> command;
  std::uint32_t occurrence = 0;  // 0: every matching request

  // seq: number of the request among all; commandCount: among those with its command byte.
  bool Matches(std::uint8_t requestCommand, std::uint32_t seq, std::uint32_t commandCount) const;

  // "17" (the 17th request), "0x62:5" (the 5th request 0x62), "0x62:*" or "0x62" (all 0x62).
  static std::optional<RequestSelector> Parse(std::string_view text);
  std::string Text() const;
};

struct DelayRule {
  RequestSelector which;
  std::uint32_t ms = 0;
};

struct FaultPlan {
  std::uint32_t seed = 1;
  // The request is lost on the line: not carried out, not answered.
  std::vector<RequestSelector> dropRequest;
  // The request is carried out but its reply is lost.
  std::vector<RequestSelector> dropReply;
  // One bit of the reply is flipped (in its last check byte).
  std::vector<RequestSelector> corruptReply;
  // The reply's data is changed in a way its check bytes cannot see: one bit is set in one
  // data byte and the same bit cleared in another, so that sum and xor stay as they were.
  std::vector<RequestSelector> garbleReply;
  // The reply leaves this much later (the panel stays busy meanwhile).
  std::vector<DelayRule> delayReply;
  double dropReplyProbability = 0.0;    // per reply
  double corruptByteProbability = 0.0;  // per reply byte: one random bit flipped
  std::uint32_t replyDelayMs = 0;       // added to every reply
  // Requests heard at these bit rates are neither carried out nor answered.
  std::vector<std::uint32_t> silentRates;
  // The first N connect requests are answered with refuseCode instead of 0 (ready).
  std::uint32_t refuseConnect = 0;
  std::uint8_t refuseCode = 1;
  // Identification is answered with this code (and no data) instead of 0x92.
  std::optional<std::uint8_t> identifyAnswer;
  // The power fails while the panel carries out this request: a write is left half done,
  // nothing is answered, and the panel hears nothing more until it is powered again.
  std::optional<std::uint32_t> powerLossAt;
  // Just before this request the panel forgets the link token (another program took the
  // line, or the panel was reset): its token changes until the PC stores it again.
  std::optional<std::uint32_t> loseTokenAt;
  // Just before this request an operator restarts the panel into its starter from the
  // service menu: the request is not heard, and the starter listens at 9600, unconnected.
  std::optional<std::uint32_t> serviceMenuAt;
  // From this request on every FLASH erase and page program is refused (0x93) and left
  // undone, as by a worn chip that no longer takes writes.
  std::optional<std::uint32_t> refuseWritesFrom;

  bool Empty() const;
};

// Sets one fault from its key (without the "fault." prefix) and text value; false with a
// reason in *error for an unknown key or a bad value. Keys: drop_request, drop_reply,
// corrupt_reply, garble_reply (lists of selectors), delay_reply (list of selector=ms),
// drop_probability, corrupt_probability, reply_delay_ms, silent_rates (list of rates),
// refuse_connect, refuse_code, identify_answer, power_loss_at, lose_token_at, service_menu_at,
// refuse_writes_from, seed.
bool SetFault(FaultPlan& plan, std::string_view key, std::string_view value, std::string* error);

// The plan as "fault.key = value" lines, one per fault that is set (SetFault reads them back).
std::vector<std::string> FaultLines(const FaultPlan& plan);

// Number parsing shared by the preset and the faults: decimal or 0x-prefixed hexadecimal.
std::optional<std::uint64_t> ParseNumber(std::string_view text);
std::string_view Trim(std::string_view text);
std::vector<std::string_view> SplitList(std::string_view text);  // by commas and spaces

}  // namespace korvex::sim
