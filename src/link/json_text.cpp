#include "json_text.h"

#include <nlohmann/json.hpp>

namespace tarnwick::link {

std::string JsonText(const nlohmann::ordered_json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tarnwick::link
