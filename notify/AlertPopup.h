// CAlertPopup: the small self-closing window that announces one alert in the
// bottom-right corner of the screen. It shows the message, counts down from 15 seconds
// in its status line and destroys itself; "查看(&V)" opens the alert's web page first.
// It is created on the heap and deletes itself after its window has been destroyed.
#pragma once
#include <string>

#include "platform/Dialog.h"

class CAlertPopup : public CDialog {
  Q_OBJECT
 public:
  CAlertPopup();

  // Creates a popup with these texts over parent and shows it; it deletes itself.
  static CAlertPopup* Open(QWidget* parent, const std::string& title, const std::string& text,
                           const std::string& url);

  std::string m_strTitle;  // window caption
  std::string m_strText;   // the message, shown from the edit box's second line
  std::string m_strUrl;    // opened by "查看(&V)"
  int m_nSecondsLeft = 15;

  // Period of the countdown timer (1000 ms); tests shorten it.
  static void SetTickPeriodMs(int ms);
  static int TickPeriodMs();

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}  // Enter does nothing
  void PostNcDestroy() override;

 private:
  void OnTimer(uintptr_t id);
  void OnViewClicked();
  void PlaceAtCorner();
  void PlaceAgainOnScreen(int triesLeft);
};
