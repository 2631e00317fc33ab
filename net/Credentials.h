// Consumer credentials of the four services and the parameter names of the requests
// that the request library does not define itself (the credential pairs go under its
// QWB_* names).
#pragma once
#include <string>

class CWeiboParam;

// The four OAuth 1.0 services have consumer pairs (indexes 0 .. kConsumerCount-1);
// Mastodon registers the program on each server instead.
enum class EService { Tencent = 0, Sina = 1, Sohu = 2, Twitter = 3, Mastodon = 4 };
constexpr int kServiceCount = 5;
constexpr int kConsumerCount = 4;

extern const char* const PARAM_OAUTH_VERIFIER;  // "oauth_verifier"
extern const char* const PARAM_OAUTH_CALLBACK;  // "oauth_callback"
extern const char* const PARAM_FORMAT;          // "format"
extern const char* const PARAM_FORMAT_JSON;     // "json"

// Each stored byte at position i (from 1) is lowered by (i mod 3) + 1, modulo 256.
std::string UnscrambleCredential(const std::string& stored);
// The inverse, to make a stored text from a usable value.
std::string ScrambleCredential(const std::string& usable);

// The usable consumer key and secret of a service: the [Consumers] override of
// Services.ini when present, else the built-in stored value unscrambled.
std::string ConsumerKey(EService service);
std::string ConsumerSecret(EService service);
// The built-in stored (scrambled) texts, for tests of their lengths and form.
const char* StoredConsumerKey(EService service);
const char* StoredConsumerSecret(EService service);

// Adds "strCustomKey" and "strCustomSecrect" of the service. Always true.
bool AddConsumerKeyParams(EService service, CWeiboParam& params);
// AddConsumerKeyParams, then "strTokenKey" = token and "strTokenSecrect" = secret.
bool AddTokenParams(EService service, CWeiboParam& params, const std::string& token,
                    const std::string& secret);
