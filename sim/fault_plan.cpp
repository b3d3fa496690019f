#include "sim/fault_plan.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvex::sim {

namespace {

std::string Hex2(std::uint8_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v);
  return buf;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

template <typename T>
bool ParseInto(std::string_view value, T& out, std::uint64_t max, std::string* error,
               std::string_view key) {
  const auto n = ParseNumber(value);
  if (!n || *n > max)
    return Fail(error, "bad value for fault." + std::string(key) + ": " + std::string(value));
  out = static_cast<T>(*n);
  return true;
}

bool ParseProbability(std::string_view value, double& out, std::string* error,
                      std::string_view key) {
  const std::string text(Trim(value));
  char* end = nullptr;
  const double p = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(p >= 0.0 && p <= 1.0)) {
    return Fail(error, "bad probability for fault." + std::string(key) + ": " + text);
  }
  out = p;
  return true;
}

bool ParseSelectors(std::string_view value, std::vector<RequestSelector>& out, std::string* error,
                    std::string_view key) {
  out.clear();
  for (std::string_view item : SplitList(value)) {
    const auto selector = RequestSelector::Parse(item);
    if (!selector)
      return Fail(error,
                  "bad request selector in fault." + std::string(key) + ": " + std::string(item));
    out.push_back(*selector);
  }
  return true;
}

std::string JoinSelectors(const std::vector<RequestSelector>& selectors) {
  std::string text;
  for (const RequestSelector& s : selectors) {
    if (!text.empty()) text += ", ";
    text += s.Text();
  }
  return text;
}

}  // namespace

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::string_view> SplitList(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find_first_of(", \t", at);
    const std::string_view item =
        text.substr(at, end == std::string_view::npos ? text.npos : end - at);
    if (!item.empty()) items.push_back(item);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return items;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  text = Trim(text);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool RequestSelector::Matches(std::uint8_t requestCommand, std::uint32_t seq,
                              std::uint32_t commandCount) const {
  if (command) {
    if (*command != requestCommand) return false;
    return occurrence == 0 || occurrence == commandCount;
  }
  return occurrence == seq;
}

std::optional<RequestSelector> RequestSelector::Parse(std::string_view text) {
  text = Trim(text);
  RequestSelector s;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    const auto n = ParseNumber(text);
    if (!n) return std::nullopt;
    const bool hex = text.size() > 2 && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
      // A bare command byte selects every request with it.
      if (*n > 0xFF) return std::nullopt;
      s.command = static_cast<std::uint8_t>(*n);
      return s;
    }
    if (*n == 0 || *n > 0xFFFFFFFFu) return std::nullopt;
    s.occurrence = static_cast<std::uint32_t>(*n);
    return s;
  }
  const auto command = ParseNumber(text.substr(0, colon));
  if (!command || *command > 0xFF) return std::nullopt;
  s.command = static_cast<std::uint8_t>(*command);
  const std::string_view which = Trim(text.substr(colon + 1));
  if (which == "*") return s;
  const auto n = ParseNumber(which);
  if (!n || *n == 0 || *n > 0xFFFFFFFFu) return std::nullopt;
  s.occurrence = static_cast<std::uint32_t>(*n);
  return s;
}

std::string RequestSelector::Text() const {
  if (!command) return std::to_string(occurrence);
  return Hex2(*command) + ":" + (occurrence == 0 ? std::string("*") : std::to_string(occurrence));
}

bool FaultPlan::Empty() const {
  return dropRequest.empty() && dropReply.empty() && corruptReply.empty() && garbleReply.empty() &&
         delayReply.empty() && dropReplyProbability == 0.0 && corruptByteProbability == 0.0 &&
         replyDelayMs == 0 && silentRates.empty() && refuseConnect == 0 && !identifyAnswer &&
         !powerLossAt && !loseTokenAt && !serviceMenuAt && !refuseWritesFrom;
}

bool SetFault(FaultPlan& plan, std::string_view key, std::string_view value, std::string* error) {
  key = Trim(key);
  if (key == "seed") return ParseInto(value, plan.seed, 0xFFFFFFFFu, error, key);
  if (key == "drop_request") return ParseSelectors(value, plan.dropRequest, error, key);
  if (key == "drop_reply") return ParseSelectors(value, plan.dropReply, error, key);
  if (key == "corrupt_reply") return ParseSelectors(value, plan.corruptReply, error, key);
  if (key == "garble_reply") return ParseSelectors(value, plan.garbleReply, error, key);
  if (key == "delay_reply") {
    plan.delayReply.clear();
    for (std::string_view item : SplitList(value)) {
      const std::size_t eq = item.find('=');
      const auto selector = RequestSelector::Parse(item.substr(0, eq));
      const auto ms =
          eq == std::string_view::npos ? std::nullopt : ParseNumber(item.substr(eq + 1));
      if (!selector || !ms || *ms > 0xFFFFFFFFu) {
        return Fail(error,
                    "bad delay rule (selector=ms) in fault.delay_reply: " + std::string(item));
      }
      plan.delayReply.push_back({*selector, static_cast<std::uint32_t>(*ms)});
    }
    return true;
  }
  if (key == "drop_probability")
    return ParseProbability(value, plan.dropReplyProbability, error, key);
  if (key == "corrupt_probability")
    return ParseProbability(value, plan.corruptByteProbability, error, key);
  if (key == "reply_delay_ms") return ParseInto(value, plan.replyDelayMs, 0xFFFFFFFFu, error, key);
  if (key == "silent_rates") {
    plan.silentRates.clear();
    for (std::string_view item : SplitList(value)) {
      const auto rate = ParseNumber(item);
      if (!rate || (*rate != 9600 && *rate != 57600 && *rate != 115200)) {
        return Fail(error, "bad rate in fault.silent_rates: " + std::string(item));
      }
      plan.silentRates.push_back(static_cast<std::uint32_t>(*rate));
    }
    return true;
  }
  if (key == "refuse_connect") return ParseInto(value, plan.refuseConnect, 0xFFFFFFFFu, error, key);
  if (key == "refuse_code") {
    std::uint8_t code = 0;
    if (!ParseInto(value, code, 0xFF, error, key)) return false;
    if (code == 0) return Fail(error, "fault.refuse_code must not be 0 (0 means ready)");
    plan.refuseCode = code;
    return true;
  }
  if (key == "identify_answer") {
    std::uint8_t code = 0;
    if (!ParseInto(value, code, 0xFF, error, key)) return false;
    plan.identifyAnswer = code;
    return true;
  }
  std::optional<std::uint32_t>* const requestNumber =
      key == "power_loss_at"        ? &plan.powerLossAt
      : key == "lose_token_at"      ? &plan.loseTokenAt
      : key == "service_menu_at"    ? &plan.serviceMenuAt
      : key == "refuse_writes_from" ? &plan.refuseWritesFrom
                                    : nullptr;
  if (requestNumber) {
    std::uint32_t n = 0;
    if (!ParseInto(value, n, 0xFFFFFFFFu, error, key)) return false;
    if (n == 0) return Fail(error, "requests count from 1 in fault." + std::string(key));
    *requestNumber = n;
    return true;
  }
  return Fail(error, "unknown fault: " + std::string(key));
}

std::vector<std::string> FaultLines(const FaultPlan& plan) {
  std::vector<std::string> lines;
  auto add = [&](const char* key, const std::string& value) {
    lines.push_back(std::string("fault.") + key + " = " + value);
  };
  if (plan.seed != 1) add("seed", std::to_string(plan.seed));
  if (!plan.dropRequest.empty()) add("drop_request", JoinSelectors(plan.dropRequest));
  if (!plan.dropReply.empty()) add("drop_reply", JoinSelectors(plan.dropReply));
  if (!plan.corruptReply.empty()) add("corrupt_reply", JoinSelectors(plan.corruptReply));
  if (!plan.garbleReply.empty()) add("garble_reply", JoinSelectors(plan.garbleReply));
  if (!plan.delayReply.empty()) {
    std::string text;
    for (const DelayRule& rule : plan.delayReply) {
      if (!text.empty()) text += ", ";
      text += rule.which.Text() + "=" + std::to_string(rule.ms);
    }
    add("delay_reply", text);
  }
  auto probability = [](double p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", p);
    return std::string(buf);
  };
  if (plan.dropReplyProbability != 0.0)
    add("drop_probability", probability(plan.dropReplyProbability));
  if (plan.corruptByteProbability != 0.0)
    add("corrupt_probability", probability(plan.corruptByteProbability));
  if (plan.replyDelayMs != 0) add("reply_delay_ms", std::to_string(plan.replyDelayMs));
  if (!plan.silentRates.empty()) {
    std::string text;
    for (std::uint32_t rate : plan.silentRates)
      text += (text.empty() ? "" : ", ") + std::to_string(rate);
    add("silent_rates", text);
  }
  if (plan.refuseConnect != 0) add("refuse_connect", std::to_string(plan.refuseConnect));
  if (plan.refuseCode != 1) add("refuse_code", Hex2(plan.refuseCode));
  if (plan.identifyAnswer) add("identify_answer", Hex2(*plan.identifyAnswer));
  if (plan.powerLossAt) add("power_loss_at", std::to_string(*plan.powerLossAt));
  if (plan.loseTokenAt) add("lose_token_at", std::to_string(*plan.loseTokenAt));
  if (plan.serviceMenuAt) add("service_menu_at", std::to_string(*plan.serviceMenuAt));
  if (plan.refuseWritesFrom) add("refuse_writes_from", std::to_string(*plan.refuseWritesFrom));
  return lines;
}

}  // namespace korvex::sim
