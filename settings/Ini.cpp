// Initialisation-file text handling and the file operations behind "Setting.ini" and
// "Services.ini": a tolerant line scanner, in-place update that keeps every other byte,
// bounded reads and atomic replacement.
#include "settings/Ini.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// [begin, end) of text without surrounding blanks (and a stray CR at the end).
void Trim(const std::string& text, size_t& begin, size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && (IsBlank(text[end - 1]) || text[end - 1] == '\r')) --end;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(const std::string& text, size_t begin, size_t end, const std::string& word) {
  if (end - begin != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (LowerAscii(text[begin + i]) != LowerAscii(word[i])) return false;
  }
  return true;
}

enum class ELine { Other, Section, Key };

// One line of the text: where it lies and what it holds.
struct CLine {
  size_t start = 0;       // first byte of the line
  size_t contentEnd = 0;  // end of the line before "\r\n" / "\n"
  size_t next = 0;        // first byte of the following line
  ELine kind = ELine::Other;
  size_t nameBegin = 0, nameEnd = 0;    // section name or key
  size_t valueBegin = 0, valueEnd = 0;  // value of a key line
};

// Splits text into classified lines. A UTF-8 byte-order mark at the start is skipped.
std::vector<CLine> ScanLines(const std::string& text) {
  std::vector<CLine> lines;
  size_t pos = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
  while (pos < text.size()) {
    CLine line;
    line.start = pos;
    size_t nl = text.find('\n', pos);
    line.next = (nl == std::string::npos) ? text.size() : nl + 1;
    line.contentEnd = (nl == std::string::npos) ? text.size() : nl;
    if (line.contentEnd > line.start && text[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos = line.next;

    size_t b = line.start, e = line.contentEnd;
    Trim(text, b, e);
    if (b == e || text[b] == ';' || text[b] == '#') {
      lines.push_back(line);
      continue;
    }
    if (text[b] == '[') {
      size_t close = text.find(']', b + 1);
      if (close == std::string::npos || close > e) close = e;
      line.kind = ELine::Section;
      line.nameBegin = b + 1;
      line.nameEnd = close;
      Trim(text, line.nameBegin, line.nameEnd);
      lines.push_back(line);
      continue;
    }
    size_t eq = text.find('=', b);
    if (eq != std::string::npos && eq < e) {
      line.kind = ELine::Key;
      line.nameBegin = b;
      line.nameEnd = eq;
      Trim(text, line.nameBegin, line.nameEnd);
      line.valueBegin = eq + 1;
      line.valueEnd = e;
      Trim(text, line.valueBegin, line.valueEnd);
      if (line.nameBegin == line.nameEnd) line.kind = ELine::Other;
    }
    lines.push_back(line);
  }
  return lines;
}

// Position of the key's first line in the parts of a matching section (in file order),
// and where a new key goes: after the last key of the section's first part. Both npos
// when absent.
struct CKeyPlace {
  size_t keyLine = std::string::npos;   // index into lines
  size_t insertAt = std::string::npos;  // byte offset for a new key line
};

CKeyPlace FindKey(const std::string& text, const std::vector<CLine>& lines,
                  const std::string& section, const std::string& key) {
  CKeyPlace place;
  bool inSection = false;
  bool firstSectionDone = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const CLine& line = lines[i];
    if (line.kind == ELine::Section) {
      if (inSection) firstSectionDone = true;
      inSection = EqualsNoCase(text, line.nameBegin, line.nameEnd, section);
      if (inSection && place.insertAt == std::string::npos) place.insertAt = line.next;
      continue;
    }
    if (!inSection || line.kind != ELine::Key) continue;
    if (!firstSectionDone) place.insertAt = line.next;
    if (EqualsNoCase(text, line.nameBegin, line.nameEnd, key)) {
      place.keyLine = i;
      return place;
    }
  }
  return place;
}

std::string CleanValue(const std::string& value) {
  std::string clean = value.substr(0, value.find('\0'));
  for (char& c : clean) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return clean;
}

std::string LineEnding(const std::string& text) {
  size_t nl = text.find('\n');
  if (nl != std::string::npos && (nl == 0 || text[nl - 1] != '\r')) return "\n";
  return "\r\n";
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// What is wrong with st for a trusted entry of this user; empty when nothing is.
std::string OwnershipProblem(const struct stat& st) {
  if (st.st_uid != geteuid()) return "it belongs to another user";
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return "other users may write to it";
  return {};
}

// Six characters in the style of mkstemp's.
std::string RandomSuffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 engine{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  std::string out;
  for (int i = 0; i < 6; ++i) out.push_back(kChars[pick(engine)]);
  return out;
}

bool IsTempName(const std::string& entry, const std::string& name) {
  const std::string prefix = "." + name + ".";
  if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < entry.size(); ++i) {
    char c = entry[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Gives the unnamed file fd the name temp (a fresh one on every try). False when the
// system cannot name an unnamed file (no /proc) or the folder refuses.
bool NameUnnamedFile(int fd, const std::string& prefix, std::string& temp) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = prefix + RandomSuffix();
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd pw;
  struct passwd* result = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && result->pw_dir[0] == '/') {
    return result->pw_dir;
  }
  return {};
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code point of the UTF-8 sequence at text[i] and its length; 0 when the bytes there
// are not a well-formed sequence (a stray continuation byte, a cut sequence, an overlong
// form, a surrogate, or beyond U+10FFFF).
size_t NextUtf8(const std::string& text, size_t i, uint32_t& cp) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

const char kUtf16LeMark[] = "\xFF\xFE";
const char kUtf16BeMark[] = "\xFE\xFF";

}  // namespace

std::optional<std::string> IniGetValue(const std::string& text, const std::string& section,
                                       const std::string& key) {
  std::vector<CLine> lines = ScanLines(text);
  CKeyPlace place = FindKey(text, lines, section, key);
  if (place.keyLine == std::string::npos) return std::nullopt;
  const CLine& line = lines[place.keyLine];
  std::string value = text.substr(line.valueBegin, line.valueEnd - line.valueBegin);
  return value.substr(0, value.find('\0'));
}

std::string IniSetValue(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value) {
  const std::string eol = LineEnding(text);
  const std::string newLine = key + "=" + CleanValue(value);
  std::vector<CLine> lines = ScanLines(text);
  CKeyPlace place = FindKey(text, lines, section, key);

  std::string result = text;
  if (place.keyLine != std::string::npos) {
    const CLine& line = lines[place.keyLine];
    result.replace(line.start, line.contentEnd - line.start, newLine);
    return result;
  }
  if (place.insertAt != std::string::npos) {
    // The section's last line may be the file's last, without a line ending.
    std::string insert = newLine + eol;
    if (place.insertAt == result.size() && !result.empty() && result.back() != '\n') {
      insert = eol + newLine;
    }
    result.insert(place.insertAt, insert);
    return result;
  }
  if (!result.empty() && result.back() != '\n') result += eol;
  result += "[" + section + "]" + eol + newLine + eol;
  return result;
}

int IniParseInt(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
    negative = value[i] == '-';
    ++i;
  }
  uint32_t number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10u + static_cast<uint32_t>(value[i] - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<int>(number);
}

bool IniDecode(const std::string& bytes, std::string& text, EIniEncoding& encoding) {
  text.clear();
  encoding = EIniEncoding::Bytes;
  const bool little = bytes.compare(0, 2, kUtf16LeMark) == 0;
  if (!little && bytes.compare(0, 2, kUtf16BeMark) != 0) {
    // Text in any single- or multi-byte code page has no zero byte; UTF-16 without its
    // mark, UTF-32 or a binary file has plenty.
    if (bytes.find('\0') != std::string::npos) return false;
    text = bytes;
    return true;
  }
  if (bytes.size() % 2 != 0) return false;
  auto unit = [&bytes, little](size_t i) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return little ? static_cast<uint32_t>(second << 8 | first)
                  : static_cast<uint32_t>(first << 8 | second);
  };
  std::string decoded;
  decoded.reserve(bytes.size());
  for (size_t i = 2; i < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp == 0 || (cp >= 0xDC00 && cp <= 0xDFFF)) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 2 >= bytes.size()) return false;
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(decoded, cp);
  }
  text = std::move(decoded);
  encoding = little ? EIniEncoding::Utf16Le : EIniEncoding::Utf16Be;
  return true;
}

std::string IniEncode(const std::string& text, EIniEncoding encoding) {
  if (encoding == EIniEncoding::Bytes) return text;
  const bool little = encoding == EIniEncoding::Utf16Le;
  std::string bytes = little ? kUtf16LeMark : kUtf16BeMark;
  bytes.reserve(2 + text.size() * 2);
  auto put = [&bytes, little](uint32_t unit) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += little ? low : high;
    bytes += little ? high : low;
  };
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t length = NextUtf8(text, i, cp);
    if (length == 0) cp = 0xFFFD, length = 1;
    i += length;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return bytes;
}

EIniRead ReadIniFile(const std::string& path, std::string& text, size_t limit, std::string* why) {
  text.clear();
  auto unusable = [why](const char* reason) {
    if (why) *why = reason;
    return EIniRead::Unusable;
  };
  // O_NONBLOCK: a FIFO put in the file's place must not block the reader.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return EIniRead::Missing;
    return unusable("it cannot be opened");
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return unusable("it is not a regular file");
  }
  if (st.st_uid != geteuid()) {
    close(fd);
    return unusable("it belongs to another user");
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    close(fd);
    return unusable("it is larger than 1 MB");
  }
  std::string data;
  char buffer[16384];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return unusable("it cannot be read");
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (data.size() > limit) {  // grew while being read
      close(fd);
      return unusable("it is larger than 1 MB");
    }
  }
  close(fd);
  text = std::move(data);
  return EIniRead::Ok;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
  std::string target = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    target = resolved;
    std::free(resolved);
  }
  size_t slash = target.rfind('/');
  std::string folder = (slash == std::string::npos) ? "./" : target.substr(0, slash + 1);
  std::string name = (slash == std::string::npos) ? target : target.substr(slash + 1);
  const std::string prefix = folder + "." + name + ".";

  // The content is written to a file without a name, so a crash while writing leaves
  // nothing behind; it gets a name only for the moment before the rename. Where unnamed
  // files are not supported, a named temporary file is used from the start.
  std::string temp;
  bool named = false;
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    temp = prefix + "XXXXXX";
    fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    named = true;
  }
  // Held until the file is closed: the stale-file cleanup leaves a locked file alone.
  flock(fd, LOCK_EX | LOCK_NB);
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  if (ok && !named) {
    ok = NameUnnamedFile(fd, prefix, temp);
    named = ok;
  }
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok && named) unlink(temp.c_str());
  ok = (close(fd) == 0) && ok;
  if (!ok) return false;
  // Make the rename itself durable; a failure here no longer endangers the old data.
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

namespace {

// Whether path (links followed) is of the file type wantType and passes the ownership rule.
bool IsTrusted(const std::string& path, mode_t wantType, const char* notThatType,
               std::string* why) {
  struct stat st;
  std::string problem;
  if (stat(path.c_str(), &st) != 0 || (st.st_mode & S_IFMT) != wantType) {
    problem = notThatType;
  } else {
    problem = OwnershipProblem(st);
  }
  if (why) *why = problem;
  return problem.empty();
}

}  // namespace

bool IsTrustedFolder(const std::string& folder, std::string* why) {
  return IsTrusted(folder, S_IFDIR, "it is not a folder", why);
}

bool IsTrustedFile(const std::string& path, std::string* why) {
  return IsTrusted(path, S_IFREG, "it is not a regular file", why);
}

bool IsUsableSettingsFile(const std::string& path, std::string* why) {
  std::string problem;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      char* resolved = realpath(path.c_str(), nullptr);
      std::string target = resolved ? resolved : "";
      std::free(resolved);
      std::string folderProblem;
      if (target.empty()) {
        problem = "it is a link to nothing";
      } else if (!IsTrustedFolder(FolderOf(target), &folderProblem)) {
        problem = "it is a link into a folder that is not safe (" + folderProblem + ")";
      } else if (stat(target.c_str(), &st) == 0 && st.st_uid != geteuid()) {
        problem = "it belongs to another user";
      }
    } else if (st.st_uid != geteuid()) {
      problem = "it belongs to another user";
    }
  }
  if (why) *why = problem;
  return problem.empty();
}

int RemoveStaleTempFiles(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (struct dirent* entry = readdir(dir)) {
    const std::string entryName = entry->d_name;
    if (!IsTempName(entryName, name)) continue;
    const std::string path = folder + "/" + entryName;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    // A save in progress holds the lock; a dead process holds none.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(path.c_str()) == 0) {
      ++removed;
    }
    close(fd);
  }
  closedir(dir);
  return removed;
}

bool RestrictFileMode(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
  if (ok && (st.st_mode & 077)) ok = fchmod(fd, st.st_mode & 0700) == 0;
  close(fd);
  return ok;
}

std::string MoveFileAside(const std::string& path, const std::string& tag) {
  const time_t now = time(nullptr);
  struct tm local;
  char stamp[32];
  if (!localtime_r(&now, &local) || strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local) == 0)
    return {};
  const std::string base = path + tag + stamp;
  for (int n = 1; n <= 100; ++n) {
    const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
      return aside;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return {};
    // A file system without renames that refuse to replace: look first, then rename.
    struct stat st;
    if (lstat(aside.c_str(), &st) == 0) continue;
    return rename(path.c_str(), aside.c_str()) == 0 ? aside : std::string();
  }
  return {};
}

bool MakeFolders(const std::string& folder, unsigned mode) {
  if (folder.empty()) return false;
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '/') continue;
    std::string part = folder.substr(0, pos);
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(folder);
}

std::string InstalledDataFolder(const std::string& exeFolder) {
  const std::string folder = StripTrailingSlashes(exeFolder);
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos || folder.compare(slash, std::string::npos, "/bin") != 0)
    return {};
  const std::string data = folder.substr(0, slash) + "/share/plumfinch";
  return IsDirectory(data) ? data : std::string();
}

std::string ChooseSettingsFolder(const std::string& exeFolder, std::string* why) {
  if (why) why->clear();
  std::string problem;
  const char* configured = std::getenv("PLUMFINCH_CONFIG_DIR");
  if (configured && configured[0]) {
    std::string folder = StripTrailingSlashes(configured);
    MakeFolders(folder, 0700);
    if (IsTrustedFolder(folder, &problem)) return folder;
    if (why) *why = "the folder " + folder + " is not used: " + problem;
  } else if (!exeFolder.empty() && access(exeFolder.c_str(), W_OK) == 0 &&
             InstalledDataFolder(exeFolder).empty()) {
    // A portable install keeps its settings beside the program, but only in a folder
    // nobody else can plant files in.
    if (IsTrustedFolder(exeFolder, &problem)) return exeFolder;
    if (why) *why = "the folder " + exeFolder + " is not used: " + problem;
  }

  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = StripTrailingSlashes(xdg);
  } else {
    std::string home = HomeFolder();
    // Without any home folder the current folder is the last resort.
    base = (home.empty() ? std::string(".") : StripTrailingSlashes(home)) + "/.config";
  }
  std::string folder = (base == "/" ? std::string() : base) + "/Plumfinch";
  MakeFolders(folder, 0700);
  // The program's own folder: one of ours that others may enter or write is closed.
  struct stat st;
  if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
      (st.st_mode & 077)) {
    chmod(folder.c_str(), 0700);
  }
  return folder;
}
