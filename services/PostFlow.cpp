// Posting a status over a service row: the request (endpoint, the service's parameters
// after the credential pairs, the picture), and the reading of its answer into the
// outcome and the log lines that report it.
#include "services/ServiceFlows.h"

SPostRequest MakePostRequest(const SServiceRow& row, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp) {
  const SPostPlan& plan = row.post;
  const bool withPicture = plan.picture.path && !picture.empty();
  plan.addParams(params, text, withPicture, plan.usesClientIp ? clientIp : std::string());
  if (withPicture) params.AddPicNameParam("pic", picture.c_str());
  SPostRequest request;
  request.url = RowAddress(row, withPicture ? plan.picture : plan.text);
  request.params = std::move(params);
  request.isTwitter = row.twitterProxy;
  return request;
}

SPostRequest MakePostRequest(EService service, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp) {
  return MakePostRequest(ServiceRow(service), std::move(params), text, picture, clientIp);
}

SPostOutcome ReadPostAnswer(const SServiceRow& row, const std::string& response) {
  SPostOutcome outcome;
  outcome.accepted = row.post.readAnswer(row, response, outcome.lines);
  return outcome;
}

SPostOutcome ReadPostAnswer(EService service, const std::string& response) {
  return ReadPostAnswer(ServiceRow(service), response);
}

bool CheckPost(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
               const std::string& text, std::string& message) {
  return !(row.own && row.own->checkPost) || row.own->checkPost(row, state, io, text, message);
}

bool PostStatus(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
                const std::string& text, const std::string& picture) {
  if (row.own && row.own->post) return row.own->post(row, state, io, text, picture);
  io.log(row.post.startLine);
  const SAccountSnapshot account = state.Account(row.id);
  CWeiboParam params;
  AddAccountParams(row, params, account.accessToken, account.accessSecret);
  // The public address is read at the moment of the post: until the fetch at start-up
  // has answered it is still "127.0.0.1".
  const std::string clientIp = row.post.usesClientIp ? state.ClientIp() : std::string();
  const SPostRequest request = MakePostRequest(row, std::move(params), text, picture, clientIp);
  const std::string response =
      io.request(request.url, EHttpMethod_Post, request.params, request.isTwitter);
  const SPostOutcome outcome = ReadPostAnswer(row, response);
  for (const std::string& line : outcome.lines) io.log(line);
  return outcome.accepted;
}
