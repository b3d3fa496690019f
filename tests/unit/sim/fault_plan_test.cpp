#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "panel_test_util.h"
#include "pc_side.h"

namespace korvex::sim {
namespace {

using testing::MakePanel;
using testing::PcSide;
using Bytes = std::vector<std::uint8_t>;

const Bytes kIdentify = {0x61, 0x61, 0x61, 0x61};
const Bytes kReadByte = {0x62, 0x00, 0x20, 0x01, 0x01};

TEST(RequestSelector, ParsesTheThreeForms) {
  struct Case {
    const char* text;
    std::optional<std::uint8_t> command;
    std::uint32_t occurrence;
  };
  for (const Case& c :
       {Case{"17", std::nullopt, 17}, Case{"0x62:5", 0x62, 5}, Case{"0x62:*", 0x62, 0},
        Case{"0x62", 0x62, 0}, Case{" 0x1F : 2 ", 0x1F, 2}}) {
    const auto s = RequestSelector::Parse(c.text);
    ASSERT_TRUE(s) << c.text;
    EXPECT_EQ(s->command, c.command) << c.text;
    EXPECT_EQ(s->occurrence, c.occurrence) << c.text;
    EXPECT_EQ(RequestSelector::Parse(s->Text())->Text(), s->Text());
  }
  for (const char* bad : {"0", "x", "0x100", "0x62:0", "0x62:y", "", "-3"}) {
    EXPECT_FALSE(RequestSelector::Parse(bad)) << bad;
  }
}

TEST(RequestSelector, MatchesByOrderOrByCommand) {
  const auto nth = *RequestSelector::Parse("3");
  EXPECT_TRUE(nth.Matches(0x61, 3, 1));
  EXPECT_FALSE(nth.Matches(0x61, 4, 3));
  const auto second = *RequestSelector::Parse("0x62:2");
  EXPECT_TRUE(second.Matches(0x62, 9, 2));
  EXPECT_FALSE(second.Matches(0x62, 2, 1));
  EXPECT_FALSE(second.Matches(0x61, 9, 2));
}

TEST(FaultPlan, TextRoundTrip) {
  FaultPlan plan;
  std::string error;
  const std::vector<std::pair<const char*, const char*>> keys = {
      {"seed", "7"},
      {"drop_request", "3, 0x62:2"},
      {"drop_reply", "0x26:*"},
      {"corrupt_reply", "9"},
      {"delay_reply", "0x66:1=20000, 4=10"},
      {"drop_probability", "0.25"},
      {"corrupt_probability", "0.001"},
      {"reply_delay_ms", "5"},
      {"silent_rates", "57600 115200"},
      {"refuse_connect", "3"},
      {"refuse_code", "0x05"},
      {"identify_answer", "0x91"},
      {"power_loss_at", "400"},
      {"lose_token_at", "12"},
  };
  for (const auto& [key, value] : keys)
    ASSERT_TRUE(SetFault(plan, key, value, &error)) << key << ": " << error;
  FaultPlan again;
  for (const std::string& line : FaultLines(plan)) {
    const std::size_t eq = line.find('=');
    ASSERT_EQ(line.rfind("fault.", 0), 0u);
    ASSERT_TRUE(SetFault(again, line.substr(6, eq - 7), line.substr(eq + 1), &error))
        << line << ": " << error;
  }
  EXPECT_EQ(FaultLines(again), FaultLines(plan));
  EXPECT_EQ(again.delayReply.size(), 2u);
  EXPECT_EQ(again.delayReply[0].ms, 20000u);
  EXPECT_FALSE(plan.Empty());
  EXPECT_TRUE(FaultPlan{}.Empty());
}

TEST(FaultPlan, RefusesBadValues) {
  FaultPlan plan;
  std::string error;
  for (const auto& [key, value] :
       std::vector<std::pair<const char*, const char*>>{{"drop_probability", "1.5"},
                                                        {"silent_rates", "4800"},
                                                        {"refuse_code", "0"},
                                                        {"power_loss_at", "0"},
                                                        {"delay_reply", "0x66:1"},
                                                        {"no_such_fault", "1"}}) {
    EXPECT_FALSE(SetFault(plan, key, value, &error)) << key;
    EXPECT_FALSE(error.empty());
  }
}

TEST(PanelFaults, LostRequestIsNotCarriedOutButALostReplyIs) {
  auto panel = MakePanel({{"fault.drop_request", "0x26:1"}, {"fault.drop_reply", "0x26:2"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  pc.CheckToken();
  const Bytes before(panel->Flash().begin() + 0x20000, panel->Flash().begin() + 0x30000);
  EXPECT_TRUE(pc.Exchange({0x26, 0x02, 0x66, 0x66}, 15000).raw.empty());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), panel->Flash().begin() + 0x20000));
  EXPECT_TRUE(pc.Exchange({0x26, 0x02, 0x66, 0x66}, 15000).raw.empty());  // the retry is erased
  EXPECT_TRUE(std::all_of(panel->Flash().begin() + 0x20000, panel->Flash().begin() + 0x30000,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}, 15000).answer, 0x91);
  EXPECT_TRUE(panel->Violations().empty());
}

TEST(PanelFaults, CorruptedReplyFailsItsChecks) {
  auto panel = MakePanel({{"fault.corrupt_reply", "2"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const auto bad = pc.Exchange(kIdentify);
  EXPECT_EQ(bad.raw.size(), 7u);
  EXPECT_FALSE(bad.valid);
  EXPECT_TRUE(pc.Exchange(kIdentify).valid);
}

TEST(PanelFaults, DelayedReplyLeavesLater) {
  auto quick = MakePanel();
  auto slow = MakePanel({{"fault.delay_reply", "0x61:1=800"}});
  PcSide pcQuick(*quick);
  PcSide pcSlow(*slow);
  pcQuick.Connect();
  pcSlow.Connect();
  const std::uint64_t t0 = pcQuick.NowUs();
  ASSERT_EQ(t0, pcSlow.NowUs());
  ASSERT_TRUE(pcQuick.Exchange(kIdentify).valid);
  ASSERT_TRUE(pcSlow.Exchange(kIdentify).valid);
  EXPECT_EQ(pcSlow.NowUs() - pcQuick.NowUs(), 800'000u);
  EXPECT_TRUE(pcSlow.Exchange(kIdentify, 100).valid);  // only the first one
}

TEST(PanelFaults, SilentAtARate) {
  auto panel = MakePanel({{"fault.silent_rates", "9600"}, {"listen_rate", "9600"}});
  PcSide pc(*panel);
  EXPECT_TRUE(pc.Connect().raw.empty());
  EXPECT_FALSE(panel->Connected());
  EXPECT_EQ(panel->RequestCount(), 1u);  // heard, but neither carried out nor answered
}

TEST(PanelFaults, RefusesTheConnectionNTimes) {
  auto panel = MakePanel({{"fault.refuse_connect", "2"}, {"fault.refuse_code", "5"}});
  PcSide pc(*panel);
  EXPECT_EQ(pc.Connect().data, Bytes{0x05});
  EXPECT_EQ(pc.Connect().data, Bytes{0x05});
  EXPECT_FALSE(panel->Connected());
  EXPECT_EQ(pc.Connect().data, Bytes{0x00});
  EXPECT_TRUE(panel->Connected());
}

TEST(PanelFaults, IdentificationWithAnotherAnswerCode) {
  auto panel = MakePanel({{"fault.identify_answer", "0x91"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const auto reply = pc.Exchange(kIdentify);
  EXPECT_TRUE(reply.valid);
  EXPECT_EQ(reply.answer, 0x91);
  EXPECT_EQ(reply.data, Bytes{0x00});  // no data of interest
}

TEST(PanelFaults, PowerLossLeavesTheWriteHalfDoneAndThePanelDeaf) {
  auto panel = MakePanel({{"fault.power_loss_at", "3"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  pc.CheckToken();
  EXPECT_TRUE(pc.Exchange({0x26, 0x02, 0x66, 0x66}, 15000).raw.empty());
  const auto flash = panel->Flash();
  EXPECT_TRUE(std::all_of(flash.begin() + 0x20000, flash.begin() + 0x28000,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_FALSE(std::all_of(flash.begin() + 0x28000, flash.begin() + 0x30000,
                           [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(panel->Mode(), PanelMode::kOff);
  EXPECT_TRUE(pc.Connect().raw.empty());
  panel->PowerCycle(pc.NowUs());
  EXPECT_TRUE(pc.Connect().valid);
}

TEST(PanelFaults, RandomFaultsAreReproducibleFromTheSeed) {
  auto run = [](const char* seed) {
    auto panel = MakePanel({{"fault.seed", seed},
                            {"fault.corrupt_probability", "0.05"},
                            {"fault.drop_probability", "0.1"}});
    PcSide pc(*panel);
    std::vector<Bytes> replies;
    for (int i = 0; i < 60; ++i)
      replies.push_back(
          pc.Exchange(i == 0 ? Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA} : kReadByte, 500)
              .raw);
    return replies;
  };
  const auto a = run("11");
  EXPECT_EQ(a, run("11"));
  EXPECT_NE(a, run("12"));
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](const Bytes& r) { return r.empty(); }));
}

TEST(PanelFaults, EveryReplyLostWithCertainty) {
  auto panel = MakePanel({{"fault.drop_probability", "1"}});
  PcSide pc(*panel);
  EXPECT_TRUE(pc.Connect().raw.empty());
  EXPECT_TRUE(panel->Connected());  // carried out all the same
}

}  // namespace
}  // namespace korvex::sim
