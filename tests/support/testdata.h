#pragma once
// Fixture files of tests/data, read whole.

#include <string>

// The bytes of tests/data/<name>; empty when the file is missing (the test then fails on it).
std::string readTestData(const std::string& name);
