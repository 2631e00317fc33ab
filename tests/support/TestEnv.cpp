// Per-test folders and small file helpers for tests.
#include "tests/support/TestEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string MakeTestFolder(const std::string& name, bool asConfig) {
  const char* base = std::getenv("PLUMFINCH_TEST_TMP");
  fs::path root = base ? fs::path(base) : fs::temp_directory_path() / "plumfinch-tests";
  fs::path dir = root / name;
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  if (asConfig) setenv("PLUMFINCH_CONFIG_DIR", dir.c_str(), 1);
  return dir.string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}
