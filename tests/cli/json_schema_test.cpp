// Every subcommand's --json output, from real runs against a simulated board,
// matches the schema that docs/cli.md publishes (docs/cli.schema.json), as a
// JSON Schema validator of Debian's (python3-jsonschema) sees it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "testing/board_at_115200.h"
#include "testing/cli_run.h"
#include "testing/pty_peer.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

using Json = nlohmann::json;

// Why the documents do not match the published schema, in the words of Debian's
// JSON Schema validator (python3-jsonschema) with the first one that does not,
// or "" when every one matches.
std::string Mismatch(const std::vector<std::string>& documents) {
  const testing::TempFolder dir;
  std::string lines;
  for (const std::string& document : documents) lines += document + "\n";
  const std::string file = dir.Write("documents.jsonl", lines);
  const std::string command = "/usr/bin/python3 -c 'import json, sys, jsonschema\n"
                              "schema = json.load(open(sys.argv[1]))\n"
                              "for number, line in enumerate(open(sys.argv[2]), 1):\n"
                              "    try: jsonschema.validate(json.loads(line), schema)\n"
                              "    except jsonschema.ValidationError as e: sys.exit(f\"document {number}: {e.message}\\n{line}\")' " TARNWICK_CLI_SCHEMA " " + file + " 2>&1";
  const testing::CliRun run = testing::RunShell(command);
  return run.status == 0 ? "" : run.out;
}

struct SchemaCase {
  const char* name;
  const char* arguments;
  const char* fault = "none";
  const char* baud = " --baud 115200";
  bool standIn = false;  // the board that gives every frame board 01's CMD13 reply
};

// The commands whose replies show fields, and one that shows only its status.
const SchemaCase kSchemaCases[] = {
    {"Cmd00", "send cmd00"}, {"Cmd13", "send cmd13 --addr 01"}, {"Cmd24", "send cmd24 --addr 01"},
    {"Cmd43", "send cmd43 --addr 01"},
    {"Raw", "send --raw 93 --addr 01"}, {"DeviceError", "send cmd13 --addr 01", "device-error=5"},
    {"BadChecksum", "send cmd13 --addr 01", "bad-checksum"}, {"NoResponse", "send cmd13 --addr 07"},
    {"ReplyMismatch", "send cmd43 --addr 05", "none", "", true},
    {"InvalidParameter", "send cmd12 --as-typed --pulse-duty 101"}, {"StepperTest", "stepper-test"},
    {"DcTest", "dc-test"}, {"Stop", "stop"}, {"Ports", "ports"}, {"UnknownCommand", "send cmd99"},
    {"Scan", "scan --addr 01-02"},
    {"ScanFindingNone", "scan --addr 01-02", "no-reply"},
    {"ScanUnconfirmed", "scan --addr 01-02", "bad-checksum"},  // what it heard follows, on standard error
    {"WatchStatus", "watch cmd13 --addr 01 --interval 0 --count 2"},
    {"WatchSetup", "watch cmd43 --addr 01 --interval 0 --count 2", "device-error=4"},
    {"Run", "run " TARNWICK_EXAMPLES "/setup_and_status.yaml", "none", ""},
    {"RunInvalid", "run /tmp/tarnwick-no-such-sequence.yaml", "none", ""}};

// The cases in four parts side by side, each part's outputs (an object per line for
// watch, two for a scan that heard more than it proved) checked in one run of the validator.
constexpr std::size_t kParts = 4;

class JsonSchemaTest : public testing::BoardAt115200Test, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(JsonSchemaTest, EveryOutputMatchesThePublishedSchema) {
  testing::PtyPeer standIn;
  standIn.AnswerEveryFrame(testing::kCmd13ReplyFrom01);
  std::vector<std::string> documents;
  for (std::size_t i = GetParam(); i < std::size(kSchemaCases); i += kParts) {
    const SchemaCase& row = kSchemaCases[i];
    board_->SetFault(sim::ParseFault(row.fault).value());
    const std::string port = row.standIn ? standIn.Path() : board_->PortPath();
    const std::string arguments = std::string(row.arguments) + " --port " + port + row.baud;
    std::istringstream out(testing::RunCli("--json " + arguments, true).out);
    const std::size_t before = documents.size();
    while ((out >> std::ws).peek() != EOF) {
      Json document;
      out >> document;  // throws on what is not JSON, failing the test
      documents.push_back(document.dump());
    }
    EXPECT_GT(documents.size(), before) << row.name;
  }
  EXPECT_EQ(Mismatch(documents), "");
}

INSTANTIATE_TEST_SUITE_P(Parts, JsonSchemaTest, ::testing::Range(std::size_t{0}, kParts));

}  // namespace
}  // namespace tarnwick
