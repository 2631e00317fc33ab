// The four posting members of the main window: one status to one service, reported in
// the status log. They run on the send worker, one after another.
#include "app/MainDlg.h"
#include "post/Posting.h"

namespace {

bool PostStatus(CMainDlg& dlg, EService service, const std::string& text,
                const std::string& picture) {
  dlg.AppendStatusLog(PostStartLine(service));
  CWeiboParam params;
  dlg.AddTokenParams(service, params);
  // The public address is read at the moment of the post: until the fetch at start-up
  // has answered it is still "127.0.0.1".
  const std::string clientIp = service == EService::Tencent ? dlg.ReadClientIp() : std::string();
  SPostRequest request = MakePostRequest(service, std::move(params), text, picture, clientIp);
  const std::string response =
      dlg.SendServiceRequest(request.url, EHttpMethod_Post, request.params, request.isTwitter);
  const SPostOutcome outcome = ReadPostAnswer(service, response);
  for (const std::string& line : outcome.lines) dlg.AppendStatusLog(line);
  return outcome.accepted;
}

}  // namespace

bool CMainDlg::PostToTencent(std::string text, std::string picture) {
  return PostStatus(*this, EService::Tencent, text, picture);
}

bool CMainDlg::PostToSina(std::string text, std::string picture) {
  return PostStatus(*this, EService::Sina, text, picture);
}

bool CMainDlg::PostToSohu(std::string text, std::string picture) {
  return PostStatus(*this, EService::Sohu, text, picture);
}

bool CMainDlg::PostToTwitter(std::string text, std::string picture) {
  return PostStatus(*this, EService::Twitter, text, picture);
}
