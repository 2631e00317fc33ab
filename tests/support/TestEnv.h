// Per-test folders: a fresh settings folder for each test (PLUMFINCH_CONFIG_DIR), under
// the private runtime folder CTest gives each test executable.
#pragma once
#include <string>

// A new empty folder for this test; also sets PLUMFINCH_CONFIG_DIR to it when asConfig.
std::string MakeTestFolder(const std::string& name, bool asConfig = true);
// Whole file as bytes ("" when unreadable).
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
