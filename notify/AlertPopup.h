// CAlertPopup: the small self-closing window that announces alerts in the bottom-right
// corner of the screen. It shows the message, counts down from 15 seconds in its status
// line and destroys itself; "查看(&V)" opens the alert's web page first. It is created on
// the heap and deletes itself after its window has been destroyed.
//
// Open popups form one column that grows upward from the corner of the work area, one
// place per popup, so none covers another. A popup stands for one alert kind: a further
// alert of that kind adds its count to the open popup and starts its countdown again.
// When the column is full, alerts of kinds not on screen wait (one entry per kind, their
// counts summed) and open, oldest first, as places free.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "notify/PollFlow.h"
#include "platform/Dialog.h"

class CAlertPopup : public CDialog {
  Q_OBJECT
 public:
  // The caption, message and address of count alerts of a kind; false for a kind it does
  // not know (nothing is shown then).
  using Describe = std::function<bool(int kind, long long count, SAlertContent& content)>;

  CAlertPopup();
  ~CAlertPopup() override;

  // Announces count new alerts of kind over parent: adds them to the open popup of that
  // kind, or opens a popup in the lowest free place of the column, or, when the column
  // is full, keeps them waiting. Returns the popup that shows them now; null when they
  // wait or describe does not know the kind. Popups delete themselves.
  static CAlertPopup* Open(QWidget* parent, int kind, long long count, Describe describe);

  // The alerts waiting for a place, oldest first: kind and summed count.
  static std::vector<std::pair<int, long long>> Waiting();

  std::string m_strTitle;  // window caption
  std::string m_strText;   // the message, shown from the edit box's second line
  std::string m_strUrl;    // opened by "查看(&V)"
  int m_nSecondsLeft = 15;
  int m_nKind = 0;         // the alert kind this popup stands for
  long long m_nCount = 0;  // alerts of that kind it has announced
  int m_nPlace = -1;       // its place in the column, 0 at the bottom; -1 once it left

  // Period of the countdown timer (1000 ms); tests shorten it.
  static void SetTickPeriodMs(int ms);
  static int TickPeriodMs();

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}  // Enter does nothing
  void OnCancel() override;
  void PostNcDestroy() override;

 private:
  void OnTimer(uintptr_t id);
  void OnViewClicked();
  // Takes the caption, message and address of content, translated, and shows the first two.
  void TakeContent(const SAlertContent& content);
  void ShowContent();
  void PlaceAtCorner();
  void PlaceAgainOnScreen(int triesLeft);
  // Gives up the popup's place in the column; waiting alerts may then open.
  void LeaveColumn();
  static CAlertPopup* OpenNew(QWidget* parent, int kind, long long count,
                              const SAlertContent& content);
  // Opens waiting alerts, oldest first, while the column has room (from the event loop).
  static void PostOpenWaiting();
  static void OpenWaiting();
};
