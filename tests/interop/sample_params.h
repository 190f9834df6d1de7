// Test-name helper for suites parameterised over the sample files.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "mdb_oracle.h"

namespace kevra::interop {

// "testv2000.mdb" -> "testv2000_mdb": gtest names allow only letters, digits and '_'.
inline std::string sampleTestName(const ::testing::TestParamInfo<SampleFile>& info) {
  std::string name;
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

inline void PrintTo(const SampleFile& s, std::ostream* os) { *os << s.name; }

}  // namespace kevra::interop
