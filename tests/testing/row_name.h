#pragma once
// Names a parameterised row after its `name` member, so that a failing row reads
// "Replies/ReplyTest.ResultAndFields/cmd41_reply_names_no_rate" rather than ".../15"
// and `ctest -R` or --gtest_filter can pick it out.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

namespace tarnwick::testing {

// Letters and digits kept, apostrophes dropped, every other run of characters one
// underscore: the only characters GoogleTest accepts in a row's name.
inline std::string RowIdentifier(std::string_view text) {
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    else if (c != '\'' && !name.empty() && name.back() != '_') name += '_';
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return RowIdentifier(info.param.name);
  }
};

}  // namespace tarnwick::testing
