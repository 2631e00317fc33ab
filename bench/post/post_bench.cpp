// Time from a click on the send button to the last status-log line of a post to all four
// services, against the local emulator, next to the sum of the four bare signed requests
// (SyncRequest to the same endpoints with the same parameters) and of the same four through
// the window's SendServiceRequest, all measured in the same run, round by round.
//
//   post_bench [rounds]      (default 20; runs offscreen unless QT_QPA_PLATFORM is set)
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "app/MainDlg.h"
#include "post/PostFlow.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Asked after every event, so it must not copy the log: the number of its blocks (the
// last one, after the final line break, is empty).
size_t LogLineCount(CMainDlg* dlg) {
  auto* log = qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_STATUS_LOG));
  return size_t(log->blockCount() - 1);
}

// Click to the tenth log line of a post that all four services accept.
double TimeWindowPost(CMainDlg* dlg, const std::string& text) {
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, text);
  const size_t before = LogLineCount(dlg);
  auto* send = qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_SEND));
  const auto start = Clock::now();
  send->click();
  // Every log line is an event for this thread: wake on each and look.
  while (LogLineCount(dlg) < before + 10)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const auto end = Clock::now();
  while (!send->isEnabled()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return Ms(end - start);
}

// The same four requests made directly, one after another; the sum of their times.
// viaWindow: through the window's SendServiceRequest (proxy rule, abort flag, conversion)
// instead of SyncRequest itself.
double TimeBareRequests(CMainDlg* dlg, const std::string& text, bool* allAccepted,
                        bool viaWindow = false) {
  double total = 0;
  *allAccepted = true;
  for (const char* prefix : {"QQ", "Sina", "Sohu", "Twitter"}) {
    const SServiceRow& service = *FindServiceRow(prefix);
    const SAccountSnapshot account = dlg->ReadAccount(service);
    CWeiboParam params;
    AddAccountParams(service, params, account.accessToken, account.accessSecret);
    const SPostRequest request = MakePostRequest(service, params, text, "", dlg->ReadClientIp());
    if (viaWindow) {
      const auto start = Clock::now();
      const std::string body = dlg->SendServiceRequest(request.url, EHttpMethod_Post,
                                                       request.params, request.proxyPicked);
      total += Ms(Clock::now() - start);
      if (!ReadPostAnswer(service, body).accepted) *allAccepted = false;
      continue;
    }
    char* data = nullptr;
    int length = 0;
    const auto start = Clock::now();
    const int rc = SyncRequest(request.url.c_str(), EHttpMethod_Post, request.params, data, length);
    total += Ms(Clock::now() - start);
    std::string body = data ? std::string(data, size_t(length)) : std::string();
    if (data) ReleaseData(data);
    if (rc != 0 || !ReadPostAnswer(service, body).accepted) *allAccepted = false;
  }
  return total;
}

struct SStats {
  double median, mean, min, max;
};
SStats Stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
  const double median =
      v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  return {median, mean, v.front(), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  CAppHarness::App();
  CEmulator emulator;
  if (!emulator.Start(MakeTestFolder("post-bench-emulator", false))) {
    std::fprintf(stderr, "the emulator did not start\n");
    return 1;
  }
  const std::string folder = CAppHarness::FreshSettings("post-bench");
  CAppHarness::UseEmulator(emulator, folder);
  if (!StoreAllAccountsBound(emulator)) {
    std::fprintf(stderr, "could not bind the accounts\n");
    return 1;
  }
  ProfileString(true, "SinaLimit", "0", "");
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow();
  CAppHarness::WaitFor([dlg] { return dlg->ReadClientIp() != "127.0.0.1"; }, 5000);
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER})
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(box))->click();

  // One of each first, untimed: connections, caches and the emulator warm up.
  bool accepted = true;
  TimeWindowPost(dlg, "warm-up window post");
  TimeBareRequests(dlg, "warm-up bare requests", &accepted);

  std::vector<double> window, bare, serviceRequest;
  for (int i = 0; i < rounds; ++i) {
    const std::string text = "bench round " + std::to_string(i) + " 测试";
    window.push_back(TimeWindowPost(dlg, text + " (window)"));
    bool ok = true;
    bare.push_back(TimeBareRequests(dlg, text + " (bare)", &ok));
    accepted = accepted && ok;
    serviceRequest.push_back(TimeBareRequests(dlg, text + " (service request)", &ok, true));
    accepted = accepted && ok;
  }
  const std::string log = dlg->GetDlgItemText(IDC_STATUS_LOG);
  if (!accepted || log.find("失败") != std::string::npos) {
    std::fprintf(stderr, "some post was not accepted:\n%s\n", log.c_str());
    return 1;
  }
  const SStats w = Stats(window), b = Stats(bare), r = Stats(serviceRequest);
  std::printf("rounds: %d (four services each)\n", rounds);
  std::printf("%-34s median %7.2f ms  mean %7.2f  min %7.2f  max %7.2f\n",
              "click to last log line:", w.median, w.mean, w.min, w.max);
  std::printf("%-34s median %7.2f ms  mean %7.2f  min %7.2f  max %7.2f\n",
              "sum of four bare SyncRequests:", b.median, b.mean, b.min, b.max);
  std::printf("%-34s median %7.2f ms  mean %7.2f  min %7.2f  max %7.2f\n",
              "sum of four SendServiceRequests:", r.median, r.mean, r.min, r.max);
  std::printf("ratio (medians), window / bare: %.2f\n", w.median / b.median);
  return 0;
}
