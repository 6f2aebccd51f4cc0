#pragma once
// The one version every program reports, and the text of their --version.

#include <string>
#include <string_view>

namespace tarnwick {

std::string_view ProjectVersion();     // "1.3"
std::string_view SourceDescription();  // the git commit built ("29434b9-dirty"); empty outside a checkout

// "tarnwick-cli 1.3" and, when known, a second line naming the commit.
std::string VersionText(std::string_view program);

}  // namespace tarnwick
