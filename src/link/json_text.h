#pragma once
// Every JSON that the programs write goes through here: text that is not UTF-8
// (a port name as typed, the system's words about it) comes out with the
// replacement character U+FFFD instead of stopping the program.

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace tarnwick::link {

// The JSON text of value: on one line without indent, else indented by that many spaces.
std::string JsonText(const nlohmann::ordered_json& value, int indent = -1);

}  // namespace tarnwick::link
