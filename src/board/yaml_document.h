#pragma once
// YAML files hold one document: a second would be dropped unread.

#include <yaml-cpp/yaml.h>

#include <string>

namespace tarnwick::board {

// The one document of text (a null node for none); throws YAML::ParserException
// at the start of a second document.
YAML::Node LoadOneDocument(const std::string& text);

}  // namespace tarnwick::board
