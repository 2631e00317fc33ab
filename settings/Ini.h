// Initialisation-file text ([section] headers, key=value lines) and safe file access for
// it: lookup, in-place update, bounded reading and atomic replacement.
#pragma once
#include <optional>
#include <string>

// Files larger than this are never parsed (nor rewritten): a settings file is a few KB.
constexpr size_t kIniSizeLimit = 1u << 20;

// The value of key in the first matching section, trimmed of blanks; sections and keys
// match without regard to ASCII case. Lines end in "\n" or "\r\n"; a UTF-8 byte-order
// mark, blank lines and lines starting with ";" or "#" are skipped. The value ends at
// its first zero byte. nullopt when the section or key is absent.
std::optional<std::string> IniGetValue(const std::string& text, const std::string& section,
                                       const std::string& key);

// text with key set to value: the key's line is replaced in place, or a line is added
// after the section's last key, or the section is appended at the end. Every other
// byte of text is kept. New lines use the text's own line ending ("\r\n" for a text
// without one). CR and LF inside value become blanks, and value ends at its first zero
// byte, so a value can never add lines of its own.
std::string IniSetValue(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value);

// The number in a value the way the Windows profile functions read it: optional blanks,
// an optional sign, then decimal digits up to the first non-digit, wrapping modulo 2^32.
// No digits give 0.
int IniParseInt(const std::string& value);

enum class EIniRead {
  Ok,        // text holds the whole file
  Missing,   // no such file: it may be created
  Unusable,  // exists but cannot be read, is not a regular file or is over the limit
};
// Reads a whole file of at most limit bytes. text is empty unless the result is Ok.
EIniRead ReadIniFile(const std::string& path, std::string& text, size_t limit = kIniSizeLimit);

// Replaces path with bytes atomically: a temporary file in the same folder (with the
// given mode) is written, flushed to disk and renamed over path; a symbolic link at path is
// followed, so the link stays. On any failure the old file is untouched and false is
// returned.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Creates folder and any missing parents with the given mode; true when it exists.
bool MakeFolders(const std::string& folder, unsigned mode = 0700);

// The shared data of an installed program: "<prefix>/share/plumfinch" for an executable
// in "<prefix>/bin" when that folder exists; empty for a build tree or a portable folder.
std::string InstalledDataFolder(const std::string& exeFolder);

// The settings folder for an executable living in exeFolder: $PLUMFINCH_CONFIG_DIR
// when set and not empty (created when missing); else exeFolder when writable and not an
// installed program's folder (root may write to /usr/bin); else $XDG_CONFIG_HOME/Plumfinch,
// or ~/.config/Plumfinch, created with mode 0700.
std::string ChooseSettingsFolder(const std::string& exeFolder);
