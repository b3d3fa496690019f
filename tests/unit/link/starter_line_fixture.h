// A starter on an in-process line whose far end answers from a script, on the virtual clock:
// the tests see every request the commands send (decoded and as wire bytes) and how much
// virtual time the exchanges took.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "link/frame.h"
#include "link/in_process_device.h"
#include "link/link.h"
#include "link/starter.h"
#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "support/scripted_line_peer.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::link {

using Bytes = std::vector<std::uint8_t>;
using ScriptedAnswer = testing::ScriptedLinePeer::Answer;
using ScriptedFrame = testing::ScriptedLinePeer::ReceivedFrame;

// Passes everything to the scripted peer and keeps the bytes of every write.
class WireRecorder : public LinePeer {
 public:
  explicit WireRecorder(LinePeer& inner) : inner_(inner) {}
  std::vector<Bytes> writes;

  void Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
               std::uint64_t nowMs) override {
    writes.emplace_back(bytes.begin(), bytes.end());
    inner_.Receive(bytes, bitRate, nowMs);
  }
  std::vector<std::uint8_t> Collect(std::uint64_t nowMs) override { return inner_.Collect(nowMs); }
  std::optional<std::uint64_t> NextArrivalMs() const override { return inner_.NextArrivalMs(); }
  void SetModemLines(bool dtr, bool rts, std::uint64_t nowMs) override {
    inner_.SetModemLines(dtr, rts, nowMs);
  }
  bool Cts(std::uint64_t nowMs) const override { return inner_.Cts(nowMs); }

 private:
  LinePeer& inner_;
};

class StarterOnScriptedLine : public ::testing::Test {
 protected:
  StarterOnScriptedLine()
      : clock(5000),
        session(op, clock, 11),
        wire(peer),
        device(wire, clock),
        host(session),
        link(host, device),
        starter(link) {
    link.KVRS().SetSelectedPort("COM1");
    EXPECT_TRUE(link.EnsurePortChosen(op));
  }

  // A checked reply frame (a reply always carries at least one data byte).
  static Bytes Reply(std::uint8_t answer, const Bytes& data = {0x00}) {
    return EncodeReplyFrame(answer, data);
  }
  static std::optional<ScriptedAnswer> Answer(const Bytes& bytes) {
    return ScriptedAnswer{bytes, 5};
  }
  // Answers every frame with `reply` (nullopt: silence).
  void AnswerAll(std::optional<Bytes> reply) {
    peer.respond = [reply](const ScriptedFrame&) -> std::optional<ScriptedAnswer> {
      if (!reply) return std::nullopt;
      return ScriptedAnswer{*reply, 5};
    };
  }
  // Answers the frames in order; nullopt entries stay silent for one whole exchange of
  // `attempts` frames, so a script can be written per exchange.
  void AnswerExchanges(const std::vector<std::optional<Bytes>>& replies, int attempts) {
    peer.respond = nullptr;
    peer.answers.clear();
    for (const auto& reply : replies) {
      if (reply) {
        peer.answers.push_back(ScriptedAnswer{*reply, 5});
      } else {
        for (int i = 0; i < attempts; ++i) peer.answers.push_back(std::nullopt);
      }
    }
  }
  std::vector<Bytes> Requests() const {
    std::vector<Bytes> out;
    for (const auto& frame : peer.frames) out.push_back(frame.request);
    return out;
  }
  std::size_t CountRequests(std::uint8_t command) const {
    std::size_t n = 0;
    for (const auto& frame : peer.frames) n += frame.request.at(0) == command ? 1 : 0;
    return n;
  }
  void ClearRecords() {
    peer.frames.clear();
    wire.writes.clear();
  }
  std::uint64_t Since(std::uint64_t start) const { return clock.NowMs() - start; }

  testing::ScriptedOperator op;
  shell::VirtualClock clock;
  shell::Session session;
  testing::ScriptedLinePeer peer;
  WireRecorder wire;
  InProcessDevice device;
  update::SessionLinkHost host;
  Link link;
  Starter starter;
};

}  // namespace korvex::link
