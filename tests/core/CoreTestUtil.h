// Small helpers shared by the core tests: private folders and whole-file access.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace coretest {

// A new, empty folder for one test under the test's private runtime folder.
inline std::string FreshFolder(const std::string& name) {
  const char* base = std::getenv("PLUMFINCH_TEST_TMP");
  std::filesystem::path dir =
      (base ? std::filesystem::path(base)
            : std::filesystem::temp_directory_path() / "plumfinch-core-tests") /
      name;
  std::error_code ec;
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir);
  return dir.string();
}

// A fresh folder that also becomes the settings folder.
inline std::string FreshSettingsFolder(const std::string& name) {
  std::string dir = FreshFolder(name);
  setenv("PLUMFINCH_CONFIG_DIR", dir.c_str(), 1);
  return dir;
}

// A self-signed certificate, for a CA file that must hold one.
inline const char kTestCertificate[] =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBbjCCARWgAwIBAgIUbr4sV6R/4o2/axEibSeVZsbSn/4wCgYIKoZIzj0EAwIw\n"
    "DDEKMAgGA1UEAwwBdDAgFw0yNjEyMDcxMzEyMTdaGA8yMTI2MTExMzEzMTIxN1ow\n"
    "DDEKMAgGA1UEAwwBdDBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABLEl0C4CN2CC\n"
    "IUOsy2nE8c+ebupqOBAFxBvsnLoaDHaLNOjNheaxbXGaJ7yFz//tROCnXvCeHRXG\n"
    "UqZ1pJlR+SyjUzBRMB0GA1UdDgQWBBQgWjH8kUkZv3nl314Kc2t3PilSWDAfBgNV\n"
    "HSMEGDAWgBQgWjH8kUkZv3nl314Kc2t3PilSWDAPBgNVHRMBAf8EBTADAQH/MAoG\n"
    "CCqGSM49BAMCA0cAMEQCIFHPDN8Bls5D3sgoDEy0knsZwKVZSrTvO3rqD8/mnk9C\n"
    "AiBmIzezKipDDKoRXy6khJa7wOC6+b0XBdZFUUtELgClsQ==\n"
    "-----END CERTIFICATE-----\n";

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline unsigned FileMode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace coretest
