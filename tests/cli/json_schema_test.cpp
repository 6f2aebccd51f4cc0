// Every subcommand's --json output, from real runs against a simulated board,
// matches the schema that docs/cli.md publishes (docs/cli.schema.json).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "sim/board_server.h"
#include "testing/board_at_115200.h"
#include "testing/cli_run.h"
#include "testing/needs_pty.h"
#include "testing/row_name.h"

namespace tarnwick {
namespace {

using Json = nlohmann::json;

bool HasType(const Json& value, const std::string& type) {
  if (type == "integer") return value.is_number_integer();
  if (type == "number") return value.is_number();
  if (type == "string") return value.is_string();
  if (type == "boolean") return value.is_boolean();
  if (type == "object") return value.is_object();
  if (type == "array") return value.is_array();
  return type == "null" && value.is_null();
}

Json PublishedSchema() {
  std::ifstream file(TARNWICK_CLI_SCHEMA);
  return Json::parse(file);
}

// Why value does not match schema, or "". Knows the keywords the schema uses.
std::string Mismatch(const Json& value, const Json& schema, const std::string& at) {
  if (schema.contains("$ref")) {  // "#/$defs/NAME"
    static const Json root = PublishedSchema();
    return Mismatch(value, root.at(Json::json_pointer(schema["$ref"].get<std::string>().substr(1))), at);
  }
  if (schema.contains("enum") && std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end())
    return at + " = " + value.dump() + " is not listed";
  if (schema.contains("oneOf")) {
    std::string why;
    int matches = 0;
    for (const Json& option : schema["oneOf"]) {
      const std::string m = Mismatch(value, option, at);
      matches += m.empty();
      why += "\n  " + m;
    }
    return matches == 1 ? "" : at + " matches " + std::to_string(matches) + " of oneOf:" + why;
  }
  if (schema.contains("type")) {
    const Json types = schema["type"].is_array() ? schema["type"] : Json::array({schema["type"]});
    if (std::none_of(types.begin(), types.end(), [&](const Json& t) { return HasType(value, t); }))
      return at + " is " + value.type_name() + ", not " + types.dump();
  }
  if (value.is_number() && ((schema.contains("minimum") && value < schema["minimum"]) ||
                            (schema.contains("maximum") && value > schema["maximum"])))
    return at + " = " + value.dump() + " is out of range";
  if (value.is_object()) {
    for (const Json& key : schema.value("required", Json::array()))
      if (!value.contains(key)) return at + " lacks " + key.get<std::string>();
    for (const auto& [key, item] : value.items()) {
      if (schema.contains("properties") && schema["properties"].contains(key)) {
        if (auto m = Mismatch(item, schema["properties"][key], at + "." + key); !m.empty()) return m;
      } else if (schema.value("additionalProperties", Json(true)) == false) {
        return at + " has the unexpected key " + key;
      } else if (schema.contains("additionalProperties") && schema["additionalProperties"].is_object()) {
        if (auto m = Mismatch(item, schema["additionalProperties"], at + "." + key); !m.empty()) return m;
      }
    }
  }
  if (value.is_array() && schema.contains("items"))
    for (std::size_t i = 0; i < value.size(); ++i)
      if (auto m = Mismatch(value[i], schema["items"], at + "[" + std::to_string(i) + "]"); !m.empty()) return m;
  return "";
}

struct SchemaCase {
  const char* name;
  const char* arguments;
  const char* fault = "none";
  const char* baud = " --baud 115200";
  bool jsonLines = false;  // an object per line (watch)
};

class JsonSchemaTest : public testing::BoardAt115200Test, public ::testing::WithParamInterface<SchemaCase> {};

TEST_P(JsonSchemaTest, OutputMatchesThePublishedSchema) {
  const Json schema = PublishedSchema();
  board_->SetFault(sim::ParseFault(GetParam().fault).value());
  const std::string arguments = std::string(GetParam().arguments) + " --port " + board_->PortPath() + GetParam().baud;
  const std::string out = testing::RunCli("--json " + arguments).out;
  std::istringstream lines(out);
  std::vector<std::string> documents;
  if (!GetParam().jsonLines) documents.push_back(out);
  for (std::string line; GetParam().jsonLines && std::getline(lines, line);) documents.push_back(line);
  ASSERT_FALSE(documents.empty());
  for (const std::string& document : documents) {
    const Json json = Json::parse(document, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << out;
    EXPECT_EQ(Mismatch(json, schema, "$"), "") << document;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Subcommands, JsonSchemaTest,
    ::testing::Values(
        SchemaCase{"Cmd00", "send cmd00"}, SchemaCase{"Cmd11", "send cmd11 --addr 01"},
        SchemaCase{"Cmd12", "send cmd12 --addr 01"}, SchemaCase{"Cmd13", "send cmd13 --addr 01"},
        SchemaCase{"Cmd21", "send cmd21 --addr 01"}, SchemaCase{"Cmd22", "send cmd22 --addr 01"},
        SchemaCase{"Cmd23", "send cmd23 --addr 01"}, SchemaCase{"Cmd24", "send cmd24 --addr 01"},
        SchemaCase{"Cmd38", "send cmd38 --addr 01"}, SchemaCase{"Cmd3F", "send cmd3f --addr 01"},
        SchemaCase{"Cmd40", "send cmd40 --addr 01"}, SchemaCase{"Cmd41", "send cmd41 --addr 01 --baudrate 115200"},
        SchemaCase{"Cmd42", "send cmd42 --addr 01"}, SchemaCase{"Cmd43", "send cmd43 --addr 01"},
        SchemaCase{"Raw", "send --raw 93 --addr 01"}, SchemaCase{"DeviceError", "send cmd13 --addr 01", "device-error=5"},
        SchemaCase{"BadChecksum", "send cmd13 --addr 01", "bad-checksum"},
        SchemaCase{"NoResponse", "send cmd13 --addr 07"},
        SchemaCase{"InvalidParameter", "send cmd12 --as-typed --pulse-duty 101"},
        SchemaCase{"StepperTest", "stepper-test"}, SchemaCase{"DcTest", "dc-test"}, SchemaCase{"Stop", "stop"},
        SchemaCase{"Ports", "ports"}, SchemaCase{"UnknownCommand", "send cmd99"},
        SchemaCase{"BadValue", "send cmd00 --addr ZZ"}, SchemaCase{"UnknownOption", "stop --port-typo x"},
        SchemaCase{"Scan", "scan --addr 01-02"}, SchemaCase{"ScanFindingNone", "scan --addr 01-02", "no-reply"},
        SchemaCase{"WatchStatus", "watch cmd13 --addr 01 --interval 0 --count 2", "none", " --baud 115200", true},
        SchemaCase{"WatchNoResponse", "watch cmd13 --addr 07 --interval 0 --count 2", "none", " --baud 115200", true},
        SchemaCase{"WatchSetup", "watch cmd43 --addr 01 --interval 0 --count 2", "device-error=4", " --baud 115200",
                   true},
        SchemaCase{"Run", "run " TARNWICK_EXAMPLES "/setup_and_status.yaml", "none", ""},
        SchemaCase{"RunFailing", "run " TARNWICK_EXAMPLES "/setup_and_status.yaml", "no-reply", ""},
        SchemaCase{"RunInvalid", "run /tmp/tarnwick-no-such-sequence.yaml", "none", ""}),
    testing::RowName{});

// What scan heard but could not prove follows the boards, on standard error.
class ScanUnconfirmedSchemaTest : public testing::BoardAt115200Test {};

TEST_F(ScanUnconfirmedSchemaTest, MatchesThePublishedSchema) {
  board_->SetFault(sim::ParseFault("bad-checksum").value());
  const std::string arguments = "--json scan --addr 01-02 --baud 115200 --port " + board_->PortPath();
  const std::string out = testing::RunCli(arguments, true).out;
  std::istringstream documents(out);
  Json boards, unconfirmed;
  documents >> boards >> unconfirmed;
  EXPECT_EQ(unconfirmed["unconfirmed"].size(), 1u) << out;
  EXPECT_EQ(Mismatch(boards, PublishedSchema(), "$"), "") << out;
  EXPECT_EQ(Mismatch(unconfirmed, PublishedSchema(), "$"), "") << out;
}

}  // namespace
}  // namespace tarnwick
