// Resource ids: dialog templates, menus, icon, strings, controls and commands.
#pragma once

// Templates, menus, icon
constexpr int IDD_MAIN = 102;
constexpr int IDI_MAIN = 128;
constexpr int IDD_VERIFY_CODE = 129;
constexpr int IDD_ALERT_POPUP = 131;
constexpr int IDR_TRAY_MENU = 133;
constexpr int IDD_PROXY_SET = 135;
constexpr int IDR_MAIN_MENU = 136;

// Strings
constexpr int IDS_SOCKETS_INIT_FAILED = 103;
constexpr int IDS_APP_NAME = 57344;
constexpr int IDS_CONTACT_TEXT = 104;

// Main window controls (each service's own controls are in its row)
constexpr int IDC_STATUS_LOG = 1003;
constexpr int IDC_MESSAGE_TEXT = 1004;
constexpr int IDC_PICTURE_PATH = 1005;
constexpr int IDC_BROWSE_PICTURE = 1006;
constexpr int IDC_SEND = 1007;
constexpr int IDC_ALERT_AT_ME = 1009;
constexpr int IDC_FOLLOWING_UPDATE = 1010;
constexpr int IDC_AUTO_RUN = 1011;
constexpr int IDC_NEW_FANS = 1015;

// Verification-code dialog
constexpr int IDC_VERIFY_CODE = 1001;

// Alert popup
constexpr int IDC_ALERT_VIEW = 1013;
constexpr int IDC_ALERT_TEXT = 1014;
constexpr int IDC_ALERT_COUNTDOWN = 1019;

// Proxy dialog
constexpr int IDC_PROXY_NONE = 1020;
constexpr int IDC_PROXY_TWITTER_ONLY = 1021;
constexpr int IDC_PROXY_ALL = 1022;
constexpr int IDC_PROXY_HTTP = 1023;
constexpr int IDC_PROXY_SOCKS4 = 1024;
constexpr int IDC_PROXY_SOCKS5 = 1025;
constexpr int IDC_PROXY_ADDRESS = 1026;
constexpr int IDC_PROXY_PORT = 1027;

// Commands
constexpr int ID_SHOW_HIDE_WINDOW = 32771;
constexpr int ID_APP_EXIT = 32772;
constexpr int ID_PROXY_SETTINGS = 32774;
constexpr int ID_HELP_USAGE = 32775;
constexpr int ID_HELP_BLOG = 32776;
constexpr int ID_HELP_CONTACT = 32777;
constexpr int ID_HELP_ABOUT = 32778;
constexpr int ID_OPEN_SINA_WEB = 32779;
constexpr int ID_OPEN_TENCENT_WEB = 32780;
constexpr int ID_OPEN_SOHU_WEB = 32781;
constexpr int ID_OPEN_TWITTER_WEB = 32782;
constexpr int ID_HELP = 57670;
