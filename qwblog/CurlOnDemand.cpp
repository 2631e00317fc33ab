// libcurl loaded when it is first called instead of when the program starts.
//
// Debian's libcurl brings some thirty libraries along (OpenSSL, GnuTLS, Kerberos, LDAP,
// SSH, RTMP, ...). Linked the ordinary way, all of them are mapped and relocated before
// main() runs, and every symbol the toolkit's libraries look up at that time is searched
// through them too. Here the program links these definitions of the libcurl functions it
// calls instead; the first call opens the library (and its dependencies, kept out of the
// global symbol scope) and every call goes on to the library's own function. The program
// calls QWBlogGlobalInit once its window is on screen, so that is where the loading
// happens.
//
// When the library cannot be opened, or lacks one of the functions, every call fails the
// way libcurl reports failure (CURLE_FAILED_INIT, a null handle or list), so
// QWBlogGlobalInit reports false and the program says networking cannot be set up.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>

namespace {

// The run-time name of the libcurl the program is built against (its ABI has been 4
// since 2006).
constexpr const char* kLibraryName = "libcurl.so.4";

struct SCurlFunctions {
  CURLcode (*globalInit)(long) = nullptr;
  CURL* (*easyInit)() = nullptr;
  CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easyPerform)(CURL*) = nullptr;
  void (*easyCleanup)(CURL*) = nullptr;
  CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
  const char* (*easyStrerror)(CURLcode) = nullptr;
  char* (*easyEscape)(CURL*, const char*, int) = nullptr;
  void (*free)(void*) = nullptr;
  curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
  void (*slistFreeAll)(curl_slist*) = nullptr;
  curl_version_info_data* (*versionInfo)(CURLversion) = nullptr;
  time_t (*getdate)(const char*, const time_t*) = nullptr;
  bool loaded = false;
};

template <typename F>
bool Resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  return function != nullptr;
}

// Opened once, by whichever thread calls first (a function-local static is initialised
// exactly once; other callers wait for it). The library stays loaded for the whole run.
const SCurlFunctions& Curl() {
  static const SCurlFunctions functions = [] {
    SCurlFunctions f;
    void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) return f;
    f.loaded = Resolve(library, "curl_global_init", f.globalInit) &&
               Resolve(library, "curl_easy_init", f.easyInit) &&
               Resolve(library, "curl_easy_setopt", f.easySetopt) &&
               Resolve(library, "curl_easy_perform", f.easyPerform) &&
               Resolve(library, "curl_easy_cleanup", f.easyCleanup) &&
               Resolve(library, "curl_easy_getinfo", f.easyGetinfo) &&
               Resolve(library, "curl_easy_strerror", f.easyStrerror) &&
               Resolve(library, "curl_easy_escape", f.easyEscape) &&
               Resolve(library, "curl_free", f.free) &&
               Resolve(library, "curl_slist_append", f.slistAppend) &&
               Resolve(library, "curl_slist_free_all", f.slistFreeAll) &&
               Resolve(library, "curl_version_info", f.versionInfo) &&
               Resolve(library, "curl_getdate", f.getdate);
    return f;
  }();
  return functions;
}

}  // namespace

// The names are in parentheses: with GCC, curl.h makes curl_easy_setopt and
// curl_easy_getinfo type-checking macros as well.

CURLcode(curl_global_init)(long flags) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.globalInit(flags) : CURLE_FAILED_INIT;
}

CURL*(curl_easy_init)() {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.easyInit() : nullptr;
}

// The option's number tells the type of its argument: below 10000 a long, then an object
// pointer, a function pointer (from 20000), a curl_off_t (from 30000) and a blob pointer
// (from 40000). The argument is passed on with that type.
CURLcode(curl_easy_setopt)(CURL* handle, CURLoption option, ...) {
  const SCurlFunctions& f = Curl();
  if (!f.loaded) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    result = f.easySetopt(handle, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    result = f.easySetopt(handle, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    using AnyFunction = void (*)();
    result = f.easySetopt(handle, option, va_arg(args, AnyFunction));
  } else if (option < CURLOPTTYPE_BLOB) {
    result = f.easySetopt(handle, option, va_arg(args, curl_off_t));
  } else {
    result = f.easySetopt(handle, option, va_arg(args, void*));
  }
  va_end(args);
  return result;
}

CURLcode(curl_easy_perform)(CURL* handle) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.easyPerform(handle) : CURLE_FAILED_INIT;
}

void(curl_easy_cleanup)(CURL* handle) {
  const SCurlFunctions& f = Curl();
  if (f.loaded) f.easyCleanup(handle);
}

// Every piece of information is written through a pointer.
CURLcode(curl_easy_getinfo)(CURL* handle, CURLINFO info, ...) {
  const SCurlFunctions& f = Curl();
  if (!f.loaded) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return f.easyGetinfo(handle, info, out);
}

const char*(curl_easy_strerror)(CURLcode code) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.easyStrerror(code) : "libcurl could not be loaded";
}

char*(curl_easy_escape)(CURL* handle, const char* text, int length) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.easyEscape(handle, text, length) : nullptr;
}

void(curl_free)(void* pointer) {
  const SCurlFunctions& f = Curl();
  if (f.loaded) f.free(pointer);
}

curl_slist*(curl_slist_append)(curl_slist* list, const char* text) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.slistAppend(list, text) : nullptr;
}

void(curl_slist_free_all)(curl_slist* list) {
  const SCurlFunctions& f = Curl();
  if (f.loaded) f.slistFreeAll(list);
}

curl_version_info_data*(curl_version_info)(CURLversion version) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.versionInfo(version) : nullptr;
}

time_t(curl_getdate)(const char* text, const time_t* unused) {
  const SCurlFunctions& f = Curl();
  return f.loaded ? f.getdate(text, unused) : -1;
}
