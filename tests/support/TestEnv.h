// Per-test folders: a fresh settings folder for each test (PLUMFINCH_CONFIG_DIR), under
// the private runtime folder CTest gives each test executable.
#pragma once
#include <fstream>
#include <string>

// A new empty folder for this test; also sets PLUMFINCH_CONFIG_DIR to it when asConfig.
std::string MakeTestFolder(const std::string& name, bool asConfig = true);
// Whole file as bytes ("" when unreadable).
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);

// Whether a library whose path contains part is mapped into this process. Inline, so a
// test that must not load libcurl can use it without linking this folder's library.
inline bool LibraryMapped(const std::string& part) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(part) != std::string::npos) return true;
  return false;
}
