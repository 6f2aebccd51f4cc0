// tarnwick-cli against network servers that misbehave on purpose (127.0.0.1):
// whatever they send, send, watch and scan end within their bound with a clear
// outcome, stay small, and Ctrl+C ends them with their summary. A test binary of
// its own, not sanitized: the size measured is tarnwick-cli's as shipped.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "testing/cli_run.h"
#include "testing/hostile_server.h"
#include "testing/row_name.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct HostileCase {
  const char* name;
  testing::HostileScript script;
  const char* arguments;  // followed by --port and the server's URL
  const char* expected;   // part of the output
  int status;             // -1: not asserted (how many exchanges a signal left done)
  double boundSeconds;    // the bound docs/network.md states for this run
  const char* prefix = "";
  const char* scheme = "rfc2217://";
  const char* options = "";
};

class HostileServerTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileServerTest, EndsWithinItsBoundAndStaysSmall) {
  const HostileCase& c = GetParam();
  const testing::HostileServer server(c.script);
  const std::string url = c.scheme + std::string("127.0.0.1:") + std::to_string(server.Port()) + c.options;
  const auto start = std::chrono::steady_clock::now();
  const testing::CliRun run = testing::RunCli(std::string(c.arguments) + " --port " + url, true, c.prefix);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  if (c.status >= 0) {
    EXPECT_EQ(run.status, c.status) << run.out;
  }
  EXPECT_LT(took.count(), c.boundSeconds + 2) << run.out;  // the margin is for a loaded machine
  rusage children{};  // this binary runs tarnwick-cli alone: the largest of its runs
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 64 * 1024);
}

constexpr const char* kSend = "send cmd13 --addr 01 --baud 19200";
constexpr const char* kWatch = "watch cmd13 --addr 01 --baud 19200 --interval 0";
constexpr const char* kCtrlCAfter1s = "timeout --preserve-status -s INT 1 ";
constexpr double kSendBound = 2.7;  // the open's 1.5 s and one exchange's 1.2 s
const testing::HostileScript kPoursBytes{.pour = Bytes(1024, 0x55)};
const testing::HostileScript kPoursNops{.pour = {0xFF, 0xF1, 0xFF, 0xF1, 0xFF, 0xF1, 0xFF, 0xF1}};
const testing::HostileScript kEndlessSubnegotiation{.opening = {0xFF, 0xFA, 44, 101}, .pour = Bytes(1024, 0x01)};

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileServerTest,
    ::testing::Values(
        HostileCase{"send bytes poured", kPoursBytes, kSend, "Result: Fail to send", 1, kSendBound},
        HostileCase{"send iac nop poured", kPoursNops, kSend, "Result: Fail to send", 1, kSendBound},
        HostileCase{"send endless subnegotiation", kEndlessSubnegotiation, kSend, "Result: Fail to send", 1,
                    kSendBound},
        HostileCase{"send raw bytes poured", {.telnet = false, .pour = Bytes(1024, 0x55)}, kSend, "Result: ", 1,
                    kSendBound, "", "socket://"},
        HostileCase{"watch iac nop ctrl c", kPoursNops, kWatch, " 0 succeeded", -1, 1, kCtrlCAfter1s},
        HostileCase{"scan bytes poured", kPoursBytes, "scan --baud 19200", "cannot send to rfc2217://", 3,
                    kSendBound},
        HostileCase{"scan silent board ctrl c", {.acknowledgePurge = true}, "scan", "interrupted; the boards found",
                    1, 1, kCtrlCAfter1s},
        // The open has one deadline: four acknowledgements 400 ms apart cannot fit in 1.5 s.
        HostileCase{"slow acknowledgements", {.acknowledgeDelayMs = 400}, kSend, "within the open's 1500 ms", 3, 1.5},
        HostileCase{"no telnet", {.telnet = false}, kSend, "did not take up COM-PORT-OPTION within", 3, 1.5},
        HostileCase{"7 data bits", {.changed = {{2, 7}}}, kSend, "the server set the line to 7 data bits, not the 8", 3,
                    1.5},
        HostileCase{"even parity", {.changed = {{3, 3}}}, kSend, "line to even parity, not the no parity asked", 3, 1.5},
        HostileCase{"2 stop bits", {.changed = {{4, 2}}}, kSend, "line to 2 stop bits, not the 1 stop bit asked", 3,
                    1.5},
        HostileCase{"closed mid reply", {.acknowledgePurge = true, .reply = {0x01, 0x0D, 0x00}}, kSend,
                    "Result: Fail to read res\nDetail: the server closed the connection", 1, kSendBound},
        HostileCase{"send would block though writable", {.telnet = false}, kSend, "took no more bytes in time", 1,
                    kSendBound, "env LD_PRELOAD=" SEND_WOULD_BLOCK " ",
                    "socket://"},
        HostileCase{"raw tcp warns that baud cannot reach the line",
                    {.telnet = false, .reply = {0x01, 0x09, 0x13, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x64, 0xC4, 0x09, 0x39, 0x02},
                     .closesAfterReply = false},
                    kSend, "--baud (like CMD41's rate change) cannot reach it", 0, kSendBound, "", "socket://"},
        HostileCase{"no server", {.listens = false}, kSend, "connection refused at 127.0.0.1:", 3, 0},
        HostileCase{"rs485 kernel", {}, "send cmd13 --addr 01 --rs485 kernel", "the server's to switch", 3, 0},
        HostileCase{"ctrl c while connecting", {.neverAccepts = true}, kWatch, "0 exchanges", 0, 0.5,
                    "timeout --preserve-status -s INT 0.5 ", "rfc2217://", "?timeout=10"}),
    testing::RowName{});

}  // namespace
}  // namespace tarnwick
