// Initialisation-file text ([section] headers, key=value lines) and safe file access for
// it: lookup, in-place update, bounded reading and atomic replacement.
#pragma once
#include <optional>
#include <string>

// Files larger than this are never parsed (nor rewritten): a settings file is a few KB.
constexpr size_t kIniSizeLimit = 1u << 20;

// The value of the first line of key in a matching section, trimmed of blanks. A
// section name that occurs more than once is one section in parts: its parts are
// searched in file order, so a key in a later part is found when no earlier part has it
// (and IniSetValue updates that line). Sections and keys match without regard to ASCII
// case. Lines end in "\n" or "\r\n"; a UTF-8 byte-order
// mark, blank lines and lines starting with ";" or "#" are skipped. The value ends at
// its first zero byte. nullopt when the section or key is absent.
std::optional<std::string> IniGetValue(const std::string& text, const std::string& section,
                                       const std::string& key);

// text with key set to value: the key's line (the one IniGetValue reads) is replaced in
// place, or a line is added after the last key of the section's first part, or the section is
// appended at the end. Every other byte of text is kept. New lines use the text's own line ending
// ("\r\n" for a text without one). CR and LF inside value become blanks, and value ends at its
// first zero byte, so a value can never add lines of its own.
std::string IniSetValue(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value);

// The number in a value the way the Windows profile functions read it: optional blanks,
// an optional sign, then decimal digits up to the first non-digit, wrapping modulo 2^32.
// No digits give 0.
int IniParseInt(const std::string& value);

// How the bytes of a settings file hold its text. Windows writes its profile files as
// UTF-16 with a byte-order mark when they started out that way; everything else (UTF-8
// with or without a byte-order mark, ANSI code pages) is taken byte for byte.
enum class EIniEncoding {
  Bytes,    // the text is the bytes
  Utf16Le,  // FF FE, then UTF-16 little-endian
  Utf16Be,  // FE FF, then UTF-16 big-endian
};

// The text in the bytes of a file, for the lookup and update functions above: UTF-16
// with a byte-order mark becomes UTF-8 without the mark; other bytes are kept as they
// are, odd bytes of an ANSI code page or broken UTF-8 included. False when the bytes
// are not text at all: a zero byte in a file that is not UTF-16, or UTF-16 that does not
// decode (an odd number of bytes, a surrogate without its partner) or holds U+0000. text
// is empty then.
bool IniDecode(const std::string& bytes, std::string& text, EIniEncoding& encoding);

// The bytes of text (UTF-8 for the UTF-16 encodings) in encoding, byte-order mark
// included, so that IniEncode(text, e) gives back the bytes IniDecode read. A byte that
// is not part of a UTF-8 sequence becomes U+FFFD in UTF-16.
std::string IniEncode(const std::string& text, EIniEncoding encoding);

enum class EIniRead {
  Ok,        // text holds the whole file
  Missing,   // no such file: it may be created
  Unusable,  // exists but cannot be read, is not a regular file or is over the limit
};
// Reads a whole file of at most limit bytes. text is empty unless the result is Ok. A
// file owned by another user is Unusable (a file planted by someone else is never taken
// for ours). why, when given, says why a file is Unusable.
EIniRead ReadIniFile(const std::string& path, std::string& text, size_t limit = kIniSizeLimit,
                     std::string* why = nullptr);

// True for a folder (a file) owned by this user that no group or other user may write,
// the only kind that may hold files this program trusts. why says what is wrong.
bool IsTrustedFolder(const std::string& folder, std::string* why = nullptr);
bool IsTrustedFile(const std::string& path, std::string* why = nullptr);

// Whether the settings file at path may be read and replaced: a symbolic link is
// followed only into a trusted folder, and an existing file must be this user's.
// A missing file is fine. why says what is wrong.
bool IsUsableSettingsFile(const std::string& path, std::string* why = nullptr);

// Removes what WriteFileAtomically leaves when the process dies in the middle of a save:
// files ".<name>.XXXXXX" in folder that are this user's regular files and that no
// running save holds. The number removed.
int RemoveStaleTempFiles(const std::string& folder, const std::string& name);

// Takes group and other permissions off an existing file of this user (a file holding
// secrets). True when its mode is now at most 0600 (or it does not exist).
bool RestrictFileMode(const std::string& path);

// Replaces path with bytes atomically: an unnamed file in the same folder (with mode)
// is written and flushed to disk, then given a temporary name ".<name>.XXXXXX" and
// renamed over path; a symbolic link at path is followed, so the link stays. On any
// failure the old file is untouched, no temporary file is left, and false is returned.
// While it has a name, the temporary file is locked (flock), so RemoveStaleTempFiles
// leaves a save in progress alone.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Renames path to "<path><tag><local time YYYYMMDD-HHMMSS>", or with "-2", "-3", ...
// after it when a file of that name exists (an existing file is never replaced). A
// symbolic link is renamed itself. The new path, or empty when the rename failed.
std::string MoveFileAside(const std::string& path, const std::string& tag);

// Creates folder and any missing parents with the given mode; true when it exists.
bool MakeFolders(const std::string& folder, unsigned mode = 0700);

// The shared data of an installed program: "<prefix>/share/plumfinch" for an executable
// in "<prefix>/bin" when that folder exists; empty for a build tree or a portable folder.
std::string InstalledDataFolder(const std::string& exeFolder);

// The settings folder for an executable living in exeFolder: $PLUMFINCH_CONFIG_DIR
// when set and not empty (created with mode 0700 when missing); else exeFolder when
// writable and not an installed program's folder (root may write to /usr/bin); else
// $XDG_CONFIG_HOME/Plumfinch, or ~/.config/Plumfinch, created with mode 0700. The first
// two are taken only when trusted (IsTrustedFolder); when one is passed over, why (when
// given) says which and why. An existing XDG folder of this user that others may write
// is made 0700.
std::string ChooseSettingsFolder(const std::string& exeFolder, std::string* why = nullptr);
