// Posting a status: what each service's posting request holds, how its answer is read,
// and the seam that stands in for the picture dialog. The window side (send button,
// targets, picture field, the four posting members) lives in SendCommand.cpp and
// ServicePosts.cpp.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "net/Credentials.h"
#include "qwblog/QWBlogAPI.h"

// One posting request, ready for SendServiceRequest (always a POST).
struct SPostRequest {
  std::string url;
  CWeiboParam params;
  bool isTwitter = false;
};

// The posting request of a service. params must already hold the service's consumer
// and access pairs (AddTokenParams); the service's own parameters follow them:
//   Tencent  format=json, content, clientip; with a picture /api/t/add_pic and file "pic"
//   Sina     status; with a picture /statuses/upload.json and file "pic"
//   Sohu     status; with a picture the status as percent-encoded UTF-8, and file "pic"
//   Twitter  status only, to /1/statuses/update.json (a picture is not sent)
// clientIp is used by Tencent only.
SPostRequest MakePostRequest(EService service, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp);

// The outcome of a posting answer ("" when the request failed) and the status-log lines
// that report it, in order (the "sending" line is not among them).
struct SPostOutcome {
  bool accepted = false;
  std::vector<std::string> lines;
};
SPostOutcome ReadPostAnswer(EService service, const std::string& response);

// The line logged when a post to the service starts.
const char* PostStartLine(EService service);

// A value taken from a service's answer, made fit for one log line: control characters
// become blanks and the text is cut (at a character boundary, marked by "...") after
// maxBytes bytes, so an answer can neither forge log lines nor flood the log.
std::string LogSafeText(const std::string& text, size_t maxBytes = 512);

// While set, ChoosePictureFile calls this instead of showing the file dialog (tests).
// It returns the chosen path, or "" for a cancelled choice. Pass {} to remove it.
void SetPictureChooserHook(std::function<std::string()> hook);
