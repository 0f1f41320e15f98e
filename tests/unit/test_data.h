// The files of tests/unit/data/ (real shortcuts; its README says how each was made).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace dva::test {

inline std::vector<std::uint8_t> testData(const std::string& name) {
    std::ifstream in(std::string(DVA_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

}  // namespace dva::test
