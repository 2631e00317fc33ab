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
constexpr int IDD_MASTODON_SERVER = 137;

// Strings
constexpr int IDS_SOCKETS_INIT_FAILED = 103;
constexpr int IDS_APP_NAME = 57344;

// Main window controls
constexpr int IDC_BIND_TENCENT = 1002;
constexpr int IDC_STATUS_LOG = 1003;
constexpr int IDC_MESSAGE_TEXT = 1004;
constexpr int IDC_PICTURE_PATH = 1005;
constexpr int IDC_BROWSE_PICTURE = 1006;
constexpr int IDC_SEND = 1007;
constexpr int IDC_BIND_SINA = 1008;
constexpr int IDC_ALERT_AT_ME = 1009;
constexpr int IDC_FOLLOWING_UPDATE = 1010;
constexpr int IDC_AUTO_RUN = 1011;
constexpr int IDC_TENCENT_NAME = 1012;
constexpr int IDC_BIND_SOHU = 1013;
constexpr int IDC_NEW_FANS = 1015;
constexpr int IDC_SEND_TO_TENCENT = 1016;
constexpr int IDC_SEND_TO_SINA = 1017;
constexpr int IDC_SINA_NAME = 1018;
constexpr int IDC_TWITTER_NAME = 1019;
constexpr int IDC_SOHU_NAME = 1020;
constexpr int IDC_SEND_TO_SOHU = 1021;
constexpr int IDC_BIND_TWITTER = 1028;
constexpr int IDC_SEND_TO_TWITTER = 1029;
constexpr int IDC_BIND_MASTODON = 1030;
constexpr int IDC_MASTODON_NAME = 1031;
constexpr int IDC_SEND_TO_MASTODON = 1032;

// Verification-code dialog
constexpr int IDC_VERIFY_CODE = 1001;

// Mastodon server dialog
constexpr int IDC_MASTODON_SERVER = 1001;

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
