// Network port names and the Telnet coding, without a socket.
#include "link/network_port.h"

#include <gtest/gtest.h>

namespace tarnwick::link {
namespace {

TEST(NetworkPortNameTest, GivesTheAddressOrSaysWhatIsWrong) {
  struct Row { const char* name; const char* host; int port; int timeoutMs; const char* why; };
  const Row rows[] = {
      {"RFC2217://box:7?ign_set_control&timeout=0.25", "box", 7, 250, ""},
      {"socket://[::1]:4001", "::1", 4001, kDefaultConnectTimeoutMs, ""},
      {"rfc2217://:2000", nullptr, 0, 0, "no host"},
      {"socket://box:65535", "box", 65535, kDefaultConnectTimeoutMs, ""},
      {"socket://box:70000", nullptr, 0, 0, "from 1 to 65535, not \"70000\""},
      {"rfc2217://box:2000?ign_set_control=1", nullptr, 0, 0, "unknown option \"ign_set_control=1\""},
      {"rfc2217://box:2000?timeout", nullptr, 0, 0, "timeout must be a number"},
      {"rfc2217://box:2000?timeout=nan", nullptr, 0, 0, "above 0 and at most 60, not \"nan\""},
      {"rfc2217://box:2000?timeout=inf", nullptr, 0, 0, "above 0 and at most 60, not \"inf\""},
      {"rfc2217://box:2000?timeout=-1", nullptr, 0, 0, "above 0 and at most 60, not \"-1\""},
      {"telnet://box:2000", nullptr, 0, 0, "starts rfc2217:// or socket://"},
  };
  for (const Row& row : rows) {
    std::string why;
    const auto address = ParseNetworkPortName(row.name, &why);
    ASSERT_EQ(address.has_value(), row.host != nullptr) << row.name << ": " << why;
    EXPECT_EQ(IsNetworkPortName(row.name), std::string_view(row.name).find("telnet") == std::string_view::npos);
    if (!address) {
      EXPECT_NE(why.find(row.why), std::string::npos) << row.name << ": " << why;
      continue;
    }
    EXPECT_EQ(address->host, row.host);
    EXPECT_EQ(address->port, row.port);
    EXPECT_EQ(address->connectTimeoutMs, row.timeoutMs);
    EXPECT_EQ(address->protocol, row.name[0] == 's' ? NetworkProtocol::RawTcp : NetworkProtocol::Rfc2217);
  }
}

TEST(TelnetCodingTest, SplitsDataFromCommands) {
  using namespace telnet;
  // WILL SGA, data 05, a baud acknowledgement of 9600 as eight bytes with a doubled
  // 0xFF inside, data FF 06, then NOP.
  const Bytes stream{kIac, kWill, kSuppressGoAhead, 0x05, kIac, kSb, kComPort, 101, 0, 0, 0x25, 0x80, kIac, kIac,
                     0, 0, 0, kIac, kSe, kIac, kIac, 0x06, kIac, 0xF1};
  TelnetDecoder decoder;
  Bytes data;
  std::vector<TelnetCommand> commands;
  for (const std::uint8_t b : stream) decoder.Feed(std::span(&b, 1), data, commands);  // as a slow network delivers
  EXPECT_EQ(data, (Bytes{0x05, 0xFF, 0x06}));
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0], (TelnetCommand{kWill, kSuppressGoAhead, {}}));
  EXPECT_EQ(commands[1], (TelnetCommand{kSb, kComPort, {101, 0, 0, 0x25, 0x80, 0xFF, 0, 0, 0}}));
  // A subnegotiation longer than any this client takes is dropped whole; the next one counts.
  Bytes overlong{kIac, kSb, kComPort};
  overlong.resize(overlong.size() + TelnetDecoder::kMaxSubnegotiationBytes + 1, 0x01);
  overlong.insert(overlong.end(), {kIac, kSe, 0x07, kIac, kSb, kComPort, 102, 8, kIac, kSe});
  decoder.Feed(overlong, data, commands);
  EXPECT_EQ(data.back(), 0x07);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[2], (TelnetCommand{kSb, kComPort, {102, 8}}));
  // Only the first four bytes of the value count.
  EXPECT_EQ(BaudRateOf(std::span(commands[1].parameters).subspan(1)), 9600);
  EXPECT_EQ(EscapeTelnetData(Bytes{0xFF, 0x01}), (Bytes{0xFF, 0xFF, 0x01}));
  EXPECT_EQ(ComPortCommand(kSetBaudRate, Bytes{0, 0, 0xFF, 0}),
            (Bytes{kIac, kSb, kComPort, kSetBaudRate, 0, 0, 0xFF, 0xFF, 0, kIac, kSe}));
}

TEST(TelnetOptionsTest, AgreesToWhatTheLineNeedsAndRefusesTheRest) {
  using namespace telnet;
  struct Row { std::uint8_t verb, option; Bytes answer; };
  const Row rows[] = {
      {kWill, kEcho, {kIac, kDont, kEcho}},                   // our frames must not come back
      {kWill, kSuppressGoAhead, {kIac, kDo, kSuppressGoAhead}},
      {kWill, kSuppressGoAhead, {}},                          // agreed already: no answer, no loop
      {kDo, kComPort, {}},
      {kDo, 24, {kIac, kWont, 24}},                           // terminal type: not ours to offer
      {kWont, kBinary, {kIac, kDont, kBinary}},
  };
  TelnetOptions options;
  EXPECT_EQ(options.Opening(), (Bytes{kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary}));
  for (const Row& row : rows)
    EXPECT_EQ(options.Answer({row.verb, row.option, {}}), row.answer) << int(row.verb) << " " << int(row.option);
  EXPECT_TRUE(options.ServerAcceptedComPort());
}

}  // namespace
}  // namespace tarnwick::link
