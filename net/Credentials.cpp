// Consumer credentials of the four services (kept scrambled in the program), the OAuth
// parameter names, and filling a parameter set with the credential pairs.
#include "net/Credentials.h"

#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"

const char* const PARAM_OAUTH_VERIFIER = "oauth_verifier";
const char* const PARAM_OAUTH_CALLBACK = "oauth_callback";
const char* const PARAM_FORMAT = "format";
const char* const PARAM_FORMAT_JSON = "json";

namespace {

// Stored (scrambled) consumer key and secret, indexed by EService.
struct CStoredConsumer {
  const char* key;
  const char* secret;
};
const CStoredConsumer kStoredConsumers[kConsumerCount] = {
    {"23gd52:9e37:h98g;g57fhg8cf87g294", "h<2;<gc<e;f226f94f:<f748554f3b7e"},  // Tencent
    {"48::523;94", "67:43ch83:;6:53fedf:94f99:23e257"},                        // Sina
    {"m7TQO[h9xxJh4IisGLum", "sp9m8CewKGZ2j9O{X2YgYtZGz33YF2yZqCTrG9EW"},      // Sohu
    {"DVMEEfLd[\\897Ge2tCXJW", "e8IXPVCxV45[KrN8R6X3OIW[KlSn7tTOQLKbMoHNrZ"},  // Twitter
};

size_t Index(EService service) {
  int i = static_cast<int>(service);
  return (i >= 0 && i < kConsumerCount) ? static_cast<size_t>(i) : 0;
}

// Amount by which the byte at zero-based index i is shifted: 2, 3, 1, 2, 3, 1, ...
unsigned char Shift(size_t i) { return static_cast<unsigned char>((i + 1) % 3 + 1); }

}  // namespace

std::string UnscrambleCredential(const std::string& stored) {
  std::string usable = stored;
  for (size_t i = 0; i < usable.size(); ++i) {
    usable[i] = static_cast<char>(static_cast<unsigned char>(usable[i]) - Shift(i));
  }
  return usable;
}

std::string ScrambleCredential(const std::string& usable) {
  std::string stored = usable;
  for (size_t i = 0; i < stored.size(); ++i) {
    stored[i] = static_cast<char>(static_cast<unsigned char>(stored[i]) + Shift(i));
  }
  return stored;
}

const char* StoredConsumerKey(EService service) { return kStoredConsumers[Index(service)].key; }

const char* StoredConsumerSecret(EService service) {
  return kStoredConsumers[Index(service)].secret;
}

std::string ConsumerKey(EService service) {
  std::string configured = ServiceConfig().consumerKey[Index(service)];
  return configured.empty() ? UnscrambleCredential(StoredConsumerKey(service)) : configured;
}

std::string ConsumerSecret(EService service) {
  std::string configured = ServiceConfig().consumerSecret[Index(service)];
  return configured.empty() ? UnscrambleCredential(StoredConsumerSecret(service)) : configured;
}

bool AddConsumerKeyParams(EService service, CWeiboParam& params) {
  params.AddParam(QWB_CUSTOM_KEY, ConsumerKey(service).c_str());
  params.AddParam(QWB_CUSTOM_SECRET, ConsumerSecret(service).c_str());
  return true;
}

bool AddTokenParams(EService service, CWeiboParam& params, const std::string& token,
                    const std::string& secret) {
  AddConsumerKeyParams(service, params);
  params.AddParam(QWB_TOKEN_KEY, token.c_str());
  params.AddParam(QWB_TOKEN_SECRET, secret.c_str());
  return true;
}
