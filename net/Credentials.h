// Consumer credentials and the parameter names of the requests that the request library
// does not define itself (the credential pairs go under its QWB_* names). The pairs are
// each service's own; this module only unscrambles them and applies the overrides of
// Services.ini.
#pragma once
#include <string>

class CWeiboParam;

// A service's consumer pair: its name in Services.ini [Consumers] (<name>Key,
// <name>Secret) and the built-in pair, stored scrambled.
struct SConsumerDef {
  const char* name;  // "" for a service without a consumer pair
  const char* storedKey;
  const char* storedSecret;
};

extern const char* const PARAM_OAUTH_VERIFIER;  // "oauth_verifier"
extern const char* const PARAM_OAUTH_CALLBACK;  // "oauth_callback"
extern const char* const PARAM_FORMAT;          // "format"
extern const char* const PARAM_FORMAT_JSON;     // "json"

// Each stored byte at position i (from 1) is lowered by (i mod 3) + 1, modulo 256.
std::string UnscrambleCredential(const std::string& stored);
// The inverse, to make a stored text from a usable value.
std::string ScrambleCredential(const std::string& usable);

// The usable consumer key and secret: the [Consumers] override of Services.ini when
// present, else the built-in stored value unscrambled.
std::string ConsumerKey(const SConsumerDef& consumer);
std::string ConsumerSecret(const SConsumerDef& consumer);

// Adds "strCustomKey" and "strCustomSecrect" of the pair. Always true.
bool AddConsumerKeyParams(const SConsumerDef& consumer, CWeiboParam& params);
// AddConsumerKeyParams, then "strTokenKey" = token and "strTokenSecrect" = secret.
bool AddTokenParams(const SConsumerDef& consumer, CWeiboParam& params, const std::string& token,
                    const std::string& secret);
