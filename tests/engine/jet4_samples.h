// The Jet 4 sample files every whole-file test runs over, and the test-name
// form of a file name ("testv2000.mdb" -> "testv2000_mdb").
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace kevra::test {

inline const auto kJet4Samples = ::testing::Values(
    "accesslike.mdb", "catesri_test.mdb", "compindextestv2000.mdb", "delcoltestv2000.mdb", "empty.mdb",
    "fixednumerictestv2000.mdb", "indextestv2000.mdb", "linked.mdb", "meza_test.mdb", "overflowtestv2000.mdb",
    "querytestv2000.mdb", "test2v2000.mdb", "testaccess2_2000.mdb", "testindexpropertiesv2000.mdb",
    "testunicodecompv2003.mdb", "testv2000.mdb", "v2000_with-password.mdb");

inline std::string sampleParamName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name;
  for (const char* c = info.param; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

}  // namespace kevra::test
