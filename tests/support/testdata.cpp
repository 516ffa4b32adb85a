#include "support/testdata.h"

#include <fstream>
#include <iterator>

std::string readTestData(const std::string& name) {
  std::ifstream in(std::string(SORVELO_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
