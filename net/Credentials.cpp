// Consumer credentials (kept scrambled in the program), the OAuth parameter names, and
// filling a parameter set with the credential pairs.
#include "net/Credentials.h"

#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"

const char* const PARAM_OAUTH_VERIFIER = "oauth_verifier";
const char* const PARAM_OAUTH_CALLBACK = "oauth_callback";
const char* const PARAM_FORMAT = "format";
const char* const PARAM_FORMAT_JSON = "json";

namespace {

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

std::string ConsumerKey(const SConsumerDef& consumer) {
  const std::string configured = ServiceConfig().Consumer(std::string(consumer.name) + "Key");
  return configured.empty() ? UnscrambleCredential(consumer.storedKey) : configured;
}

std::string ConsumerSecret(const SConsumerDef& consumer) {
  const std::string configured = ServiceConfig().Consumer(std::string(consumer.name) + "Secret");
  return configured.empty() ? UnscrambleCredential(consumer.storedSecret) : configured;
}

bool AddConsumerKeyParams(const SConsumerDef& consumer, CWeiboParam& params) {
  params.AddParam(QWB_CUSTOM_KEY, ConsumerKey(consumer).c_str());
  params.AddParam(QWB_CUSTOM_SECRET, ConsumerSecret(consumer).c_str());
  return true;
}

bool AddTokenParams(const SConsumerDef& consumer, CWeiboParam& params, const std::string& token,
                    const std::string& secret) {
  AddConsumerKeyParams(consumer, params);
  params.AddParam(QWB_TOKEN_KEY, token.c_str());
  params.AddParam(QWB_TOKEN_SECRET, secret.c_str());
  return true;
}
