// The registry of the services. Each row is defined in its service's own file.
#include "services/Registry.h"

extern const SServiceRow kTencentRow;
extern const SServiceRow kSinaRow;
extern const SServiceRow kSohuRow;
extern const SServiceRow kTwitterRow;
extern const SServiceRow kMastodonRow;
extern const SServiceRow kBlueskyRow;

const std::vector<const SServiceRow*>& ServiceRows() {
  static const std::vector<const SServiceRow*> rows = [] {
    std::vector<const SServiceRow*> list = {&kTencentRow, &kSinaRow,     &kSohuRow,
                                            &kTwitterRow, &kMastodonRow, &kBlueskyRow};
    std::vector<const SHostDef*> hosts;
    std::vector<const SChoiceDef*> choices;
    for (const SServiceRow* row : list) {
      hosts.insert(hosts.end(), row->hosts.begin(), row->hosts.end());
      choices.insert(choices.end(), row->choices.begin(), row->choices.end());
    }
    DeclareServiceHosts(hosts);
    DeclareServiceChoices(choices);
    return list;
  }();
  return rows;
}

const SServiceRow* FindServiceRow(const std::string& keyPrefix) {
  for (const SServiceRow* row : ServiceRows())
    if (keyPrefix == row->keyPrefix) return row;
  return nullptr;
}

const SAlertKind* FindAlertKind(int kind, const SServiceRow** owner) {
  for (const SServiceRow* row : ServiceRows()) {
    if (!row->poll) continue;
    for (const SAlertKind& k : row->poll->kinds) {
      if (k.kind != kind) continue;
      if (owner) *owner = row;
      return &k;
    }
  }
  return nullptr;
}

std::string EndpointAddress(const SEndpoint& endpoint, const std::string& tail) {
  if (!endpoint.host) return {};
  const std::string path = std::string(endpoint.path ? endpoint.path : "") + tail;
  return endpoint.https ? HttpsUrl(*endpoint.host, path) : HttpUrl(*endpoint.host, path);
}

void AddConsumerParams(const SServiceRow& row, CWeiboParam& params) {
  if (*row.consumer.name) AddConsumerKeyParams(row.consumer, params);
}

void AddAccountParams(const SServiceRow& row, CWeiboParam& params, const std::string& token,
                      const std::string& secret) {
  AddConsumerParams(row, params);
  params.AddParam(QWB_TOKEN_KEY, token.c_str());
  params.AddParam(QWB_TOKEN_SECRET, secret.c_str());
}
