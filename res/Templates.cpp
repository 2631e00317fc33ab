// The program's dialog templates, menus and strings.
#include "res/Templates.h"

#include "res/Resource.h"
#include "res/WinTypes.h"

namespace {

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr uint32_t kGroup = kChild | BS_GROUPBOX;
constexpr uint32_t kLabel = kChild | WS_GROUP;
const char* const kFont = "宋体";

const SDialogDef kMainDialog = {
    IDD_MAIN,
    "Plumfinch v1.1",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_EX_APPWINDOW,
    kFont,
    9,
    478,
    186,
    IDR_MAIN_MENU,
    {
        {IDC_STATIC, ECtrlKind::GroupBox, "绑定微博", 3, 2, 191, 44, kGroup, 0},
        {IDC_STATIC, ECtrlKind::GroupBox, "状态日志", 3, 49, 191, 135, kGroup, 0},
        {IDC_STATUS_LOG, ECtrlKind::Edit, "", 7, 58, 183, 122,
         kChild | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
             ES_AUTOVSCROLL | ES_AUTOHSCROLL,
         0},
        {IDC_STATIC, ECtrlKind::GroupBox, "已绑定", 196, 2, 159, 80, kGroup, 0},
        {IDC_STATIC, ECtrlKind::GroupBox, "设置", 357, 2, 119, 80, kGroup, 0},
        {IDC_ALERT_AT_ME, ECtrlKind::CheckBox, "收到@我消息或私信时提醒", 361, 13, 105, 10, kCheck,
         0},
        {IDC_FOLLOWING_UPDATE, ECtrlKind::CheckBox, "我关注的微博有更新提醒", 361, 26, 105, 10,
         kCheck, 0},
        {IDC_NEW_FANS, ECtrlKind::CheckBox, "当有新粉丝/听众时提醒", 361, 39, 105, 10, kCheck, 0},
        {IDC_AUTO_RUN, ECtrlKind::CheckBox, "系统启动时自动启动", 361, 52, 86, 10, kCheck, 0},
        {IDC_STATIC, ECtrlKind::GroupBox, "发微博", 196, 84, 280, 100, kGroup, 0},
        {IDC_MESSAGE_TEXT, ECtrlKind::Edit, "", 200, 93, 272, 43,
         kChild | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
             ES_WANTRETURN,
         0},
        {IDC_STATIC, ECtrlKind::Static, "图片:", 200, 141, 21, 8, kLabel, 0},
        {IDC_PICTURE_PATH, ECtrlKind::Edit, "", 225, 139, 160, 14,
         kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {IDC_BROWSE_PICTURE, ECtrlKind::PushButton, "浏览...", 390, 139, 33, 14, kPush, 0},
        {IDC_SEND, ECtrlKind::PushButton, "发表(&S)", 429, 137, 41, 17, kPush, 0},
    },
    // The services' bind buttons and send boxes come in between (their rows say where).
    {IDC_STATUS_LOG, IDC_MESSAGE_TEXT, IDC_PICTURE_PATH, IDC_BROWSE_PICTURE, IDC_SEND,
     IDC_ALERT_AT_ME, IDC_FOLLOWING_UPDATE, IDC_AUTO_RUN, IDC_NEW_FANS},
};

// The field is wide enough for a whole Mastodon code (43 characters of A-Z, a-z, 0-9, "-"
// and "_", even all of the widest one in a proportional font); the focus starts in it, so
// a pasted code lands there and Enter sends it.
const SDialogDef kVerifyCodeDialog = {
    IDD_VERIFY_CODE,
    "输入您在网页上看到的验证码",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    kFont,
    9,
    361,
    21,
    0,
    {
        {IDOK, ECtrlKind::PushButton, "确定", 317, 2, 39, 15, kPush | BS_DEFPUSHBUTTON, 0},
        {IDC_VERIFY_CODE, ECtrlKind::Edit, "", 40, 4, 270, 13,
         kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {IDC_STATIC, ECtrlKind::Static, "验证码:", 6, 6, 29, 8, kLabel, 0},
    },
    {IDC_VERIFY_CODE, IDOK},
};

const SDialogDef kAlertPopup = {
    IDD_ALERT_POPUP,
    "",
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    WS_EX_TOOLWINDOW,
    kFont,
    9,
    152,
    73,
    0,
    {
        {IDC_ALERT_VIEW, ECtrlKind::PushButton, "查看(&V)", 110, 55, 39, 16, kPush, 0},
        {IDC_ALERT_TEXT, ECtrlKind::Edit, "", 1, 0, 150, 53,
         kChild | WS_BORDER | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_TRANSPARENT},
        {IDC_ALERT_COUNTDOWN, ECtrlKind::Static, "", 4, 60, 106, 8, kLabel, 0},
    },
    {IDC_ALERT_VIEW},
};

constexpr uint32_t kRadio = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON;

const SDialogDef kProxyDialog = {
    IDD_PROXY_SET,
    "代理设置",
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    WS_EX_TOOLWINDOW,
    kFont,
    9,
    142,
    143,
    0,
    {
        {IDC_STATIC, ECtrlKind::GroupBox, "代理应用范围", 3, 2, 137, 46, kGroup, 0},
        {IDC_PROXY_NONE, ECtrlKind::RadioButton, "全部不使用代理直接连接", 9, 12, 104, 10,
         kRadio | WS_GROUP, 0},
        {IDC_PROXY_TWITTER_ONLY, ECtrlKind::RadioButton, "只为Twitter使用代理 其它直连", 9, 23, 127,
         10, kRadio, 0},
        {IDC_PROXY_ALL, ECtrlKind::RadioButton, "全部使用代理连接服务器", 9, 34, 104, 10, kRadio,
         0},
        {IDC_STATIC, ECtrlKind::GroupBox, "代理类型", 3, 50, 137, 24, kGroup, 0},
        {IDC_PROXY_HTTP, ECtrlKind::RadioButton, "HTTP", 9, 60, 32, 10, kRadio | WS_GROUP, 0},
        {IDC_PROXY_SOCKS4, ECtrlKind::RadioButton, "SOCKS4", 47, 60, 40, 10, kRadio, 0},
        {IDC_PROXY_SOCKS5, ECtrlKind::RadioButton, "SOCKS5", 93, 60, 40, 10, kRadio, 0},
        {IDC_STATIC, ECtrlKind::GroupBox, "代理地址", 4, 77, 136, 42, kGroup, 0},
        {IDC_STATIC, ECtrlKind::Static, "地址:", 9, 89, 21, 8, kLabel, 0},
        {IDC_PROXY_ADDRESS, ECtrlKind::Edit, "", 33, 87, 100, 13,
         kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {IDC_STATIC, ECtrlKind::Static, "端口:", 9, 103, 21, 8, kLabel, 0},
        {IDC_PROXY_PORT, ECtrlKind::Edit, "", 33, 101, 48, 13,
         kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_NUMBER, 0},
        {IDOK, ECtrlKind::PushButton, "确定", 16, 123, 50, 16, kPush | BS_DEFPUSHBUTTON, 0},
        {IDCANCEL, ECtrlKind::PushButton, "取消", 76, 123, 50, 16, kPush, 0},
    },
    {IDC_PROXY_NONE, IDC_PROXY_TWITTER_ONLY, IDC_PROXY_ALL, IDC_PROXY_HTTP, IDC_PROXY_SOCKS4,
     IDC_PROXY_SOCKS5, IDC_PROXY_ADDRESS, IDC_PROXY_PORT, IDOK, IDCANCEL},
};

const std::vector<SMenuItemDef> kMainMenu = {
    {0, "文件(&F)", {{ID_APP_EXIT, "退出(&X)", {}}}},
    {0, "设置(&S)", {{ID_PROXY_SETTINGS, "代理设置(&P)", {}}}},
    {0,
     "快速访问(&V)",
     {{ID_OPEN_SINA_WEB, "新浪微博(&S)", {}},
      {ID_OPEN_TENCENT_WEB, "腾讯微博(&T)", {}},
      {ID_OPEN_SOHU_WEB, "搜狐微博(&H)", {}},
      {ID_OPEN_TWITTER_WEB, "Twitter(&T)", {}}}},
    {0,
     "帮助(&H)",
     {{ID_HELP_USAGE, "使用说明(&C)", {}},
      {0, nullptr, {}},
      {ID_HELP_BLOG, "作者博客(&B)", {}},
      {ID_HELP_CONTACT, "联系作者(&O)", {}},
      {0, nullptr, {}},
      {ID_HELP_ABOUT, "关于本软件(&A)...", {}}}},
};

const std::vector<SMenuItemDef> kTrayMenu = {
    {0,
     "托盘弹出菜单",
     {{ID_SHOW_HIDE_WINDOW, "隐藏/显示窗口(&S)", {}},
      {0, nullptr, {}},
      {ID_APP_EXIT, "退出(&X)", {}}}},
};

}  // namespace

const SDialogDef* FindDialogTemplate(int id) {
  for (const SDialogDef* d : {&kMainDialog, &kVerifyCodeDialog, &kAlertPopup, &kProxyDialog})
    if (d->id == id) return d;
  return nullptr;
}

const std::vector<SMenuItemDef>* FindMenuResource(int id) {
  if (id == IDR_MAIN_MENU) return &kMainMenu;
  if (id == IDR_TRAY_MENU) return &kTrayMenu;
  return nullptr;
}

const char* LoadResourceString(int id) {
  switch (id) {
    case IDS_SOCKETS_INIT_FAILED:
      return "Windows 通信端口初始化失败。";
    case IDS_APP_NAME:
      return "Plumfinch";
    case IDS_CONTACT_TEXT:
      return "Plumfinch v1.1\n"
             "一次写好，同时发到腾讯、新浪、搜狐微博、Twitter、Mastodon 和 Bluesky。\n"
             "\n"
             "问题与建议请写信给作者：plumfinch@example.org\n"
             "主页：https://plumfinch.example.org/";
    default:
      return "";
  }
}
