// Posting a status over a service row: the request (endpoint, the service's parameters
// after the credential pairs, the picture), the reading of its answer into the outcome
// and the log lines that report it, and the send worker.
#include "post/PostFlow.h"

#include "services/Registry.h"

SPostRequest MakePostRequest(const SServiceRow& row, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp) {
  const SPostPlan& plan = row.post;
  const bool withPicture = plan.picture.path && !picture.empty();
  plan.addParams(params, text, withPicture, plan.usesClientIp ? clientIp : std::string());
  if (withPicture) params.AddPicNameParam("pic", picture.c_str());
  SPostRequest request;
  request.url = EndpointAddress(withPicture ? plan.picture : plan.text);
  request.params = std::move(params);
  request.proxyPicked = row.proxyPicked;
  return request;
}

SPostOutcome ReadPostAnswer(const SServiceRow& row, const SHttpAnswer& answer) {
  SPostOutcome outcome;
  outcome.accepted = row.post.readAnswer(row, answer, outcome.lines);
  return outcome;
}

SPostOutcome ReadPostAnswer(const SServiceRow& row, const std::string& body) {
  SHttpAnswer answer;
  answer.answered = true;
  answer.status = 200;
  answer.body = body;
  return ReadPostAnswer(row, answer);
}

bool CheckPost(CSession& session, const SServiceRow& row, const std::string& text,
               SUserText& message) {
  return !(row.own && row.own->checkPost) || row.own->checkPost(row, session, text, message);
}

bool PostStatus(CSession& session, const SServiceRow& row, const std::string& text,
                const std::string& picture) {
  session.Log(row.post.startLine);
  if (row.own && row.own->post) return row.own->post(row, session, text, picture);
  const SAccountSnapshot account = session.Account(row);
  CWeiboParam params;
  AddAccountParams(row, params, account.accessToken, account.accessSecret);
  // The public address is read at the moment of the post: until the fetch at start-up
  // has answered it is still "127.0.0.1".
  const std::string clientIp = row.post.usesClientIp ? session.ClientIp() : std::string();
  const SPostRequest request = MakePostRequest(row, std::move(params), text, picture, clientIp);
  const SHttpAnswer answer =
      session.SignedRequest(request.url, EHttpMethod_Post, request.params, request.proxyPicked);
  const SPostOutcome outcome = ReadPostAnswer(row, answer);
  for (const SUserText& line : outcome.lines) session.Log(line);
  return outcome.accepted;
}

void PostToTickedServices(CSession& session, const std::vector<const SServiceRow*>& rows,
                          const std::string& text, const std::string& picture) {
  if (session.IsClosing()) return;
  if (text.empty()) {
    session.ShowMessage("微博内容不能为空!");
    return;
  }
  // Every service takes the status as C text, which would end at the zero: what went out
  // would be cut, and be reported as posted.
  if (text.find('\0') != std::string::npos) {
    session.ShowMessage(
        "微博内容中含有空字符(NUL)，无法发送。\r\n\r\n请删除后再发送，本次没有发出任何内容。");
    return;
  }
  // A service with limits of its own (a server's status length) is asked first: a status
  // it would refuse goes nowhere, so the user can shorten it and send it everywhere.
  for (const SServiceRow* row : rows) {
    if (!session.SendTicked(*row)) continue;
    SUserText message;
    if (CheckPost(session, *row, text, message)) continue;
    session.ShowMessage(message);
    return;
  }
  for (const SServiceRow* row : rows) {
    // Each box is read just before its service's turn: unticking it meanwhile skips it.
    if (session.IsClosing()) return;
    if (session.SendTicked(*row)) PostStatus(session, *row, text, picture);
  }
}

void StartSend(CSession& session, const std::string& text, const std::string& picture) {
  session.StartWorker([&session, text, picture] {
    PostToTickedServices(session, ServiceRows(), text, picture);
    session.SendDone();
  });
}
