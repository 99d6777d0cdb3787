// Parameterised cases take the `name` of their table row as their own, so that a test's name
// says what it reads and is the same in every build.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tov::testing {

struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};
inline constexpr RowName row_name;

}  // namespace tov::testing
