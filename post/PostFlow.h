// Posting a status: the request of a service that follows the common pattern and the
// reading of its answer, the check of every ticked service before anything is sent,
// and the send worker that posts to the ticked services one after another. No window:
// the flow reads the send boxes the session keeps, shows its message boxes through the
// session's window port and reports through the outbox.
#pragma once
#include <string>
#include <vector>

#include "services/Session.h"

// One posting request, ready to send (always a POST).
struct SPostRequest {
  std::string url;
  CWeiboParam params;
  bool proxyPicked = false;
};
// The posting request of a row. params already hold the consumer and access pairs; the
// service's own parameters follow them, then the picture as file "pic" when the
// service takes one. clientIp is used where the row says so.
SPostRequest MakePostRequest(const SServiceRow& row, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp);

// The outcome of a posting answer and the status-log lines that report it, in order (the
// "sending" line is not among them). A post is accepted only from a whole, valid answer
// with a success status.
struct SPostOutcome {
  bool accepted = false;
  std::vector<SUserText> lines;
};
SPostOutcome ReadPostAnswer(const SServiceRow& row, const SHttpAnswer& answer);
// The same for a body that arrived with status 200.
SPostOutcome ReadPostAnswer(const SServiceRow& row, const std::string& body);

// Whether the status may go to the row's service (a service with limits of its own asks
// its server); false with the message to show.
bool CheckPost(CSession& session, const SServiceRow& row, const std::string& text,
               SUserText& message);
// Posts one status to the row's account and logs the start and the outcome.
bool PostStatus(CSession& session, const SServiceRow& row, const std::string& text,
                const std::string& picture);

// The send worker's work: refuses an empty text, checks every ticked service, then posts
// to each service whose box is still ticked when its turn comes, in the rows' order.
void PostToTickedServices(CSession& session, const std::vector<const SServiceRow*>& rows,
                          const std::string& text, const std::string& picture);
// Starts the send worker over the registry's rows; it ends with SendDone in the outbox.
void StartSend(CSession& session, const std::string& text, const std::string& picture);
