// Reading single values out of service answers by plain search, and making them fit for
// the status log. Answers are untrusted: every reader copes with empty, cut, huge and
// hostile text and then reports "not found".
#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "net/ServiceRequest.h"
#include "net/UserText.h"

// The value of a JSON string member: the text between the first pair of double quotes
// after "name": ("" when absent). Escapes are left as they are.
std::string JsonTextMember(const std::string& answer, const char* name);

// True when text occurs in the answer.
bool ContainsText(const std::string& answer, const char* text);

// The integer after the first "\"key\":" in response, read up to the nearer of the next
// "," and "}" the way atoi reads (leading white space, a sign, digits up to the first
// other character; 0 without digits, so a quoted value reads 0). -1 when the pattern
// is missing, when neither terminator follows, or when the number does not fit in 32
// bits (such a value is no real count and is treated as missing).
int ReadJsonCount(const std::string& response, const std::string& key);

// A value taken from a service's answer, made fit for one log line: control characters
// become blanks and the text is cut (at a character boundary, marked by "...") after
// maxBytes bytes, so an answer can neither forge log lines nor flood the log.
std::string LogSafeText(const std::string& text, size_t maxBytes = 512);

// A short, plain reason for a failed request, for a status-log line: why no answer
// arrived, or the HTTP status of an answer that is not a success ("" for a success).
SUserText FailureReason(const SHttpAnswer& answer);

// A JSON answer, parsed; null when it is not JSON or nests deeper than any real answer
// (a few megabytes of brackets must not cost the parser a deep recursion).
nlohmann::json ParseJson(const std::string& text);
// A member that is text or an integer, as text; "" when absent or of another type.
std::string JsonText(const nlohmann::json& object, const char* name);

// A post's answer read whole. ok: a success status with a JSON object as its body. why:
// a short reason for the log when it is not (no answer, an HTTP status, an answer that
// cannot be read); a service's own error message may replace it.
struct SPostAnswer {
  bool ok = false;
  nlohmann::json body;  // the parsed body, whatever the status (null when not JSON)
  SUserText why;
};
SPostAnswer ReadPostJson(const SHttpAnswer& answer);

struct SServiceRow;
class CWeiboParam;

// ---- posting pieces several services share ----

// The status as the parameter "status".
void AddStatusParam(CWeiboParam& params, const std::string& text, bool withPicture,
                    const std::string& clientIp);
// A post is accepted when the answer is the new status: a JSON object with its
// "created_at" and its "id". A refusal logs the service's "error" or the reason.
bool ReadStatusPost(const SServiceRow& row, const SHttpAnswer& answer,
                    std::vector<SUserText>& lines);
// The same, and a refusal of a text posted before is logged as its reason.
bool ReadStatusPostOrRepeat(const SServiceRow& row, const SHttpAnswer& answer,
                            std::vector<SUserText>& lines);
