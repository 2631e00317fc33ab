// What an alert kind says: caption, message and web page, and a hook through which
// tests see every WM_SERVICE_ALERT the main window handles.
#pragma once
#include <functional>
#include <string>

struct SAlertContent {
  std::string title, text, url;
};

// The caption, message (count filled in) and address of an alert kind; false for a kind
// the program does not know. The names complete the addresses of kinds 4, 14 and 24.
bool DescribeServiceAlert(int kind, long long count, const std::string& qqName,
                          const std::string& sinaUserId, const std::string& sohuUserId,
                          SAlertContent& content);

// Called on the user-interface thread with every alert message before it is shown
// (tests only). Pass {} to remove.
void SetServiceAlertHook(std::function<void(int kind, long long count)> hook);
