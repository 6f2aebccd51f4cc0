#include "support/version.h"

std::string tarnwick::VersionText(std::string_view program) {
  std::string text = std::string(program) + " " + std::string(ProjectVersion());
  if (!SourceDescription().empty()) text += "\nbuilt from commit " + std::string(SourceDescription());
  return text;
}
