<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Plumfinch</name>
    <message>
        <location filename="../../app/AutoStart.cpp"/>
        <source>多个微博一键同步发布</source>
        <translation>Post one status to several micro-blog services at once</translation>
    </message>
    <message>
        <location filename="../../app/MainDlg.cpp"/>
        <source>选项无法保存: %1</source>
        <translation>The options could not be saved: %1</translation>
    </message>
    <message>
        <location filename="../../app/MainDlg.cpp"/>
        <source>选项无法保存到设置文件!&#xd;
&#xd;
失败原因:%1</source>
        <translation>The options could not be saved to the settings file!&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../app/ProxySetDlg.cpp"/>
        <source>代理地址不能为空!</source>
        <translation>The proxy address must not be empty!</translation>
    </message>
    <message>
        <location filename="../../app/SendTargets.cpp"/>
        <source>请先选择您要发送到哪个微博!</source>
        <translation>Please tick the services to post to first!</translation>
    </message>
    <message>
        <location filename="../../app/SendTargets.cpp"/>
        <source>图片文件(*.jpg;*.gif;*.png)</source>
        <translation>Pictures (*.jpg *.gif *.png)</translation>
    </message>
    <message>
        <location filename="../../bind/BindFlow.cpp"/>
        <source>获取用户信息失败</source>
        <translation>Could not read the account information</translation>
    </message>
    <message>
        <location filename="../../bind/BindFlow.cpp"/>
        <source>绑定失败!</source>
        <translation>Binding failed!</translation>
    </message>
    <message>
        <location filename="../../bind/BindFlow.cpp"/>
        <source>绑定信息无法保存到设置文件!&#xd;
&#xd;
失败原因:%1</source>
        <translation>The binding could not be saved to the settings file!&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../bind/BindFlow.cpp"/>
        <source>绑定成功(%1)!</source>
        <translation>Bound (%1)!</translation>
    </message>
    <message>
        <location filename="../../bind/MastodonServerDlg.cpp"/>
        <source>绑定Mastodon</source>
        <translation>Bind Mastodon</translation>
    </message>
    <message>
        <location filename="../../bind/MastodonServerDlg.cpp"/>
        <source>请输入Mastodon服务器地址(如mastodon.social):</source>
        <translation>Mastodon server (e.g. mastodon.social):</translation>
    </message>
    <message>
        <location filename="../../bind/MastodonServerDlg.cpp"/>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <location filename="../../bind/MastodonServerDlg.cpp"/>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../../bind/SignInDlg.cpp"/>
        <source>服务器:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <location filename="../../bind/SignInDlg.cpp"/>
        <source>账号:</source>
        <translation>Account:</translation>
    </message>
    <message>
        <location filename="../../bind/SignInDlg.cpp"/>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <location filename="../../bind/VerifyCodeDlg.cpp"/>
        <source>请输入您在网页上看到的验证码！</source>
        <translation>Please enter the code shown on the web page!</translation>
    </message>
    <message>
        <location filename="../../notify/AlertPopup.cpp"/>
        <source>本提示将在%1秒后自动关闭。</source>
        <translation>This alert closes in %1 s.</translation>
    </message>
    <message>
        <location filename="../../post/PostFlow.cpp"/>
        <source>微博内容不能为空!</source>
        <translation>The status must not be empty!</translation>
    </message>
    <message>
        <location filename="../../post/PostFlow.cpp"/>
        <source>微博内容中含有空字符(NUL)，无法发送。&#xd;
&#xd;
请删除后再发送，本次没有发出任何内容。</source>
        <translation>The status contains a null character (NUL) and cannot be sent.&#xd;
&#xd;
Please remove it and send again. Nothing was posted.</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>绑定微博</source>
        <translation>Bind</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>状态日志</source>
        <translation>Status log</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>已绑定</source>
        <translation>Accounts</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>设置</source>
        <translation>Options</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>收到@我消息或私信时提醒</source>
        <translation>Alert: @me, messages</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>我关注的微博有更新提醒</source>
        <translation>Alert: new posts</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>当有新粉丝/听众时提醒</source>
        <translation>Alert: new followers</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>系统启动时自动启动</source>
        <translation>Start at logon</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>发微博</source>
        <translation>New status</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>图片:</source>
        <translation>Image:</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>发表(&amp;S)</source>
        <translation>&amp;Send</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>输入您在网页上看到的验证码</source>
        <translation>Enter the code shown on the web page</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>验证码:</source>
        <translation>Code:</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>查看(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>代理设置</source>
        <translation>Proxy settings</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>代理应用范围</source>
        <translation>Use the proxy for</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>全部不使用代理直接连接</source>
        <translation>Nothing: connect directly</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>只为Twitter使用代理 其它直连</source>
        <translation>Twitter only, the rest directly</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>全部使用代理连接服务器</source>
        <translation>Every service</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>代理类型</source>
        <translation>Proxy type</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>代理地址</source>
        <translation>Proxy address</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>地址:</source>
        <translation>IP:</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>设置(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>代理设置(&amp;P)</source>
        <translation>&amp;Proxy settings</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>快速访问(&amp;V)</source>
        <translation>Quick &amp;visit</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>新浪微博(&amp;S)</source>
        <translation>&amp;Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>腾讯微博(&amp;T)</source>
        <translation>&amp;Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>搜狐微博(&amp;H)</source>
        <translation>So&amp;hu Weibo</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>Twitter(&amp;T)</source>
        <translation>T&amp;witter</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>使用说明(&amp;C)</source>
        <translation>Usage &amp;guide</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>作者博客(&amp;B)</source>
        <translation>Project &amp;blog</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>联系作者(&amp;O)</source>
        <translation>C&amp;ontact</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>关于本软件(&amp;A)...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>托盘弹出菜单</source>
        <translation>Tray menu</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>隐藏/显示窗口(&amp;S)</source>
        <translation>&amp;Show/hide the window</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>Windows 通信端口初始化失败。</source>
        <translation>The network could not be prepared.</translation>
    </message>
    <message>
        <location filename="../../res/Templates.cpp"/>
        <source>Plumfinch v1.1
一次写好，同时发到腾讯、新浪、搜狐微博、Twitter、Mastodon 和 Bluesky。

问题与建议请写信给作者：plumfinch@example.org
主页：https://plumfinch.example.org/</source>
        <translation>Plumfinch v1.1
Write once, post to Tencent, Sina and Sohu Weibo, Twitter, Mastodon and Bluesky at the same time.

Questions and suggestions: plumfinch@example.org
Home page: https://plumfinch.example.org/</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>%1&#xd;
&#xd;
失败原因:%2</source>
        <translation>%1&#xd;
&#xd;
Reason: %2</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky服务器地址无效!&#xd;
&#xd;
请输入服务器的域名(如bsky.social)，或以https://开头的地址，不要带路径。</source>
        <translation>Not a valid Bluesky server address!&#xd;
&#xd;
Please enter the server's domain name (e.g. bsky.social), or an address that starts with https://, without a path.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>请输入Bluesky账号(用户名或邮箱)和应用专用密码!</source>
        <translation>Please enter the Bluesky account (handle or e-mail address) and an app password!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>无法连接到Bluesky服务器!</source>
        <translation>Could not reach the Bluesky server!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>该服务器不是Bluesky服务器(不支持XRPC接口)，请检查服务器地址!</source>
        <translation>This server is not a Bluesky server (it does not speak XRPC); please check the address!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky账号或密码错误!&#xd;
&#xd;
请检查账号(用户名或邮箱)和应用专用密码。</source>
        <translation>Wrong Bluesky account or password!&#xd;
&#xd;
Please check the account (handle or e-mail address) and the app password.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>该Bluesky账号开启了两步验证，不能用账号的主密码绑定!&#xd;
&#xd;
请在Bluesky的设置中创建一个应用专用密码(设置 &gt; 隐私与安全 &gt; 应用专用密码)，再用它绑定。</source>
        <translation>This Bluesky account uses two-factor sign-in, so its main password cannot bind it!&#xd;
&#xd;
Please create an app password in Bluesky's settings (Settings &gt; Privacy and security &gt; App passwords) and bind with that.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>该Bluesky账号已被服务器封禁(AccountTakedown)，无法绑定!</source>
        <translation>This Bluesky account has been taken down by the server (AccountTakedown) and cannot be bound!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>该Bluesky账号当前不可用(已停用或被暂停)，无法绑定!</source>
        <translation>This Bluesky account is not active (deactivated or suspended) and cannot be bound!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>登录Bluesky失败!</source>
        <translation>Signing in to Bluesky failed!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky账号的授权已失效，请重新绑定Bluesky账号。</source>
        <translation>The Bluesky account's session is no longer valid; please bind the Bluesky account again.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>服务器的回应无法识别</source>
        <translation>the server's answer could not be read</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>没有收到回应</source>
        <translation>no answer</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky的新授权无法保存到设置文件，下次启动后需要重新绑定。原因:%1</source>
        <translation>Bluesky's renewed session could not be saved to the settings file; after the next start the account must be bound again. Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>绑定Bluesky</source>
        <translation>Bind Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>应用专用密码:</source>
        <translation>App password:</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>创建应用专用密码...</source>
        <translation>Create an app password...</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>这个密码不像Bluesky的应用专用密码(格式为xxxx-xxxx-xxxx-xxxx)。&#xd;
&#xd;
建议不要使用账号的主密码，请点击&quot;创建应用专用密码...&quot;创建一个。如果确实要使用这个密码，请再次点击&quot;确定&quot;。</source>
        <translation>This password does not look like a Bluesky app password (xxxx-xxxx-xxxx-xxxx).&#xd;
&#xd;
Better not use the account's main password: click &quot;Create an app password...&quot; to make one. To use this password anyway, click &quot;OK&quot; again.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>发到Bluesky的内容有%1个字(%2字节)，超过了Bluesky允许的%3个字(%4字节)。&#xd;
&#xd;
请删减后再发送，本次没有发出任何内容。</source>
        <translation>The status for Bluesky has %1 characters (%2 bytes), more than the %3 characters (%4 bytes) Bluesky allows.&#xd;
&#xd;
Please shorten it and send again. Nothing was posted.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>图片无法读取(不存在、不是普通文件或太大)</source>
        <translation>the picture cannot be read (missing, not a regular file, or too large)</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>图片超过Bluesky允许的大小(1MB)，已缩小后上传。</source>
        <translation>The picture was over the size Bluesky allows (1 MB); it was scaled down before the upload.</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>图片上传失败(%1)</source>
        <translation>the picture upload failed (%1)</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>原因:%1</source>
        <translation>Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>%1，无法确认是否已发出</source>
        <translation>%1; whether it was posted cannot be told</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>查看地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky有提到我的消息</source>
        <translation>Mentions on Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>您在Bluesky上收到了%1条新提及</source>
        <translation>You have %1 new mention(s) on Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>您在Bluesky上有新关注者</source>
        <translation>New followers on Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>您在Bluesky上增加了%1个新关注者</source>
        <translation>You have %1 new follower(s) on Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>您选择了发表到Bluesky，但是您尚未绑定Bluesky账号!</source>
        <translation>You ticked Bluesky, but no Bluesky account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>绑定到Bluesky...</source>
        <translation>Binding to Bluesky...</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>正在发到Bluesky...</source>
        <translation>Posting to Bluesky...</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>成功发表到Bluesky!</source>
        <translation>Posted to Bluesky!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>发表Bluesky失败!</source>
        <translation>Posting to Bluesky failed!</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>未绑定</source>
        <translation>Not bound</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>发到Bluesky</source>
        <translation>Bluesky</translation>
    </message>
    <message>
        <location filename="../../services/Bluesky.cpp"/>
        <source>Bluesky(&amp;B)</source>
        <translation>Bluesky(&amp;B)</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>Mastodon服务器地址无效!&#xd;
&#xd;
请输入服务器的域名(如mastodon.social)，或以https://开头的地址，不要带路径。</source>
        <translation>Not a valid Mastodon server address!&#xd;
&#xd;
Please enter the server's domain name (e.g. mastodon.social), or an address that starts with https://, without a path.</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>向Mastodon服务器注册应用失败!</source>
        <translation>Could not register the program on the Mastodon server!</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>获取Mastodon访问令牌失败!</source>
        <translation>Could not get the Mastodon access token!</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>Mastodon账号的授权已失效，请重新绑定Mastodon账号。</source>
        <translation>The Mastodon account's authorisation is no longer valid; please bind the Mastodon account again.</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>正在检查Mastodon服务器允许的字数...</source>
        <translation>Checking the Mastodon length limit...</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>发到Mastodon的内容有%1个字符，超过了服务器允许的%2个字符。&#xd;
&#xd;
请删减后再发送，本次没有发出任何内容。</source>
        <translation>The status for Mastodon has %1 characters, more than the %2 the server allows.&#xd;
&#xd;
Please shorten it and send again. Nothing was posted.</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>图片处理超时</source>
        <translation>the server took too long to process the picture</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>图片处理失败(%1)</source>
        <translation>the server could not process the picture (%1)</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>Mastodon有提到我的消息</source>
        <translation>Mentions on Mastodon</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>您在Mastodon上收到了%1条新提及</source>
        <translation>You have %1 new mention(s) on Mastodon</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>您在Mastodon上有新关注者</source>
        <translation>New followers on Mastodon</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>您在Mastodon上增加了%1个新关注者</source>
        <translation>You have %1 new follower(s) on Mastodon</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>您选择了发表到Mastodon，但是您尚未绑定Mastodon账号!</source>
        <translation>You ticked Mastodon, but no Mastodon account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>绑定到Mastodon...</source>
        <translation>Binding to Mastodon...</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>正在发到Mastodon...</source>
        <translation>Posting to Mastodon...</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>成功发表到Mastodon!</source>
        <translation>Posted to Mastodon!</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>发表Mastodon失败!</source>
        <translation>Posting to Mastodon failed!</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>发到Mastodon</source>
        <translation>Mastodon</translation>
    </message>
    <message>
        <location filename="../../services/Mastodon.cpp"/>
        <source>Mastodon(&amp;M)</source>
        <translation>Mastodon(&amp;M)</translation>
    </message>
    <message>
        <location filename="../../services/Picture.cpp"/>
        <source>不是图片文件</source>
        <translation>not a picture file</translation>
    </message>
    <message>
        <location filename="../../services/Picture.cpp"/>
        <source>图片无法解码</source>
        <translation>the picture cannot be decoded</translation>
    </message>
    <message>
        <location filename="../../services/Picture.cpp"/>
        <source>图片尺寸过大</source>
        <translation>the picture is too large</translation>
    </message>
    <message>
        <location filename="../../services/Picture.cpp"/>
        <source>图片无法缩小到大小限制(字节)以内:</source>
        <translation>the picture cannot be made smaller than the size limit (bytes):</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>原因: 微博内容重复!</source>
        <translation>Reason: the same status was posted before!</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>地址无效</source>
        <translation>invalid address</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>找不到服务器</source>
        <translation>server not found</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>服务器拒绝连接</source>
        <translation>the server refused the connection</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>代理服务器连接失败</source>
        <translation>could not connect through the proxy</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>安全连接(TLS)失败</source>
        <translation>the secure connection (TLS) failed</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>连接超时</source>
        <translation>the connection timed out</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>连接中断，没有收到回应</source>
        <translation>the connection broke before an answer came</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>服务器的回应过大</source>
        <translation>the server's answer is too large</translation>
    </message>
    <message>
        <location filename="../../services/Readers.cpp"/>
        <source>程序正在退出，请求已取消</source>
        <translation>the program is exiting; the request was cancelled</translation>
    </message>
    <message>
        <location filename="../../services/ServiceRow.h"/>
        <source>获取Request_Token失败!</source>
        <translation>Could not get the request token!</translation>
    </message>
    <message>
        <location filename="../../services/ServiceRow.h"/>
        <source>获取Request_Token失败!&#xd;
&#xd;
失败原因:%1</source>
        <translation>Could not get the request token!&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/ServiceRow.h"/>
        <source>获取AccessToken失败!</source>
        <translation>Could not get the access token!</translation>
    </message>
    <message>
        <location filename="../../services/ServiceRow.h"/>
        <source>获取Access_Token失败!&#xd;
&#xd;
失败原因:%1</source>
        <translation>Could not get the access token!&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/Session.cpp"/>
        <source>无法打开浏览器。&#xd;
&#xd;
请复制下面的地址，在浏览器中打开，再把网页上显示的验证码填入下一个对话框:&#xd;
&#xd;
%1</source>
        <translation>The browser could not be opened.&#xd;
&#xd;
Please copy the address below, open it in a browser, and type the code the page shows into the next dialog:&#xd;
&#xd;
%1</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>你关注的好友有更新</source>
        <translation>New posts from people you follow</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>您在新浪微博上关注的好友已更新了%1条新微博</source>
        <translation>People you follow on Sina Weibo posted %1 new status(es)</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>您在新浪微博上有新粉丝</source>
        <translation>New followers on Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>您在新浪微博上增加了%1个新粉丝</source>
        <translation>You have %1 new follower(s) on Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪微博有提到我的消息</source>
        <translation>Mentions on Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>您有%1条提到我的消息</source>
        <translation>You have %1 new mention(s)</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪微博有您的新私信</source>
        <translation>New messages on Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪微博上有您%1条新私信</source>
        <translation>You have %1 new message(s) on Sina Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!</source>
        <translation>You ticked Sina Weibo, but no Sina Weibo account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>绑定到新浪微博...</source>
        <translation>Binding to Sina Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>正在发到新浪微博...</source>
        <translation>Posting to Sina Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>成功发表到新浪微博!</source>
        <translation>Posted to Sina Weibo!</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>发表新浪微博失败!</source>
        <translation>Posting to Sina Weibo failed!</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪</source>
        <translation>Sina</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪账号:</source>
        <translation>Sina:</translation>
    </message>
    <message>
        <location filename="../../services/Sina.cpp"/>
        <source>新浪微博</source>
        <translation>Sina</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>您在搜狐微博上关注的好友已更新了%1条新微博</source>
        <translation>People you follow on Sohu Weibo posted %1 new status(es)</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>您在搜狐微博上有新粉丝</source>
        <translation>New followers on Sohu Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>您在搜狐微博上增加了%1个新粉丝</source>
        <translation>You have %1 new follower(s) on Sohu Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!</source>
        <translation>You ticked Sohu Weibo, but no Sohu Weibo account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>绑定到搜狐微博...</source>
        <translation>Binding to Sohu Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>正在发到搜狐微博...</source>
        <translation>Posting to Sohu Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>成功发表到搜狐微博!</source>
        <translation>Posted to Sohu Weibo!</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>发表搜狐微博失败!</source>
        <translation>Posting to Sohu Weibo failed!</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>搜狐</source>
        <translation>Sohu</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>搜狐账号:</source>
        <translation>Sohu:</translation>
    </message>
    <message>
        <location filename="../../services/Sohu.cpp"/>
        <source>搜狐微博</source>
        <translation>Sohu</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>您在腾讯微博上关注的好友已更新了%1条新微博</source>
        <translation>People you follow on Tencent Weibo posted %1 new status(es)</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>您在腾讯微博上有新粉丝</source>
        <translation>New followers on Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>您在腾讯微博上增加了%1个新粉丝</source>
        <translation>You have %1 new follower(s) on Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯微博有提到我的消息</source>
        <translation>Mentions on Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯微博有您的新私信</source>
        <translation>New messages on Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯微博上有您%1条新私信</source>
        <translation>You have %1 new message(s) on Tencent Weibo</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!</source>
        <translation>You ticked Tencent Weibo, but no Tencent Weibo account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>绑定到腾讯微博...</source>
        <translation>Binding to Tencent Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>获取Request_Token!&#xd;
&#xd;
失败原因:%1</source>
        <translation>Could not get the request token!&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>正在发到腾讯微博...</source>
        <translation>Posting to Tencent Weibo...</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>成功发表到腾讯微博!</source>
        <translation>Posted to Tencent Weibo!</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>发表腾讯微博失败!</source>
        <translation>Posting to Tencent Weibo failed!</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯</source>
        <translation>Tencent</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯账号:</source>
        <translation>Tencent:</translation>
    </message>
    <message>
        <location filename="../../services/Tencent.cpp"/>
        <source>腾讯微博</source>
        <translation>Tencent</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>获取用户信息失败&#xd;
&#xd;
失败原因:%1</source>
        <translation>Could not get the account's details.&#xd;
&#xd;
Reason: %1</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>%1，请在%2之后再试</source>
        <translation>%1, try again after %2</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>使用X的当前接口(Services.ini中[Twitter] Api=2)绑定Twitter，需要您自己的X应用的API Key和API Key Secret。&#xd;
&#xd;
请在%1/Services.ini的[Consumers]一节中加入:&#xd;
%2=...&#xd;
&#xd;
本次没有发出任何请求。</source>
        <translation>Binding Twitter through X's current API ([Twitter] Api=2 in Services.ini) needs the API Key and API Key Secret of your own X app.&#xd;
&#xd;
Add to the [Consumers] section of %1/Services.ini:&#xd;
%2=...&#xd;
&#xd;
Nothing was sent.</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>发到Twitter的内容按X的算法有%1个字符，超过了允许的%2个字符(汉字和表情各算2个，链接算23个)。&#xd;
&#xd;
请删减后再发送，本次没有发出任何内容。</source>
        <translation>Counted the way X counts, the text for Twitter has %1 characters, more than the %2 allowed (Chinese characters and emoji count 2 each, a link 23).&#xd;
&#xd;
Please shorten it and send again; nothing was sent.</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>Twitter的原接口(Api=1)不能发图片，只发送了文字。</source>
        <translation>Twitter's original interface (Api=1) takes no pictures; only the text was sent.</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>Services.ini的[Consumers]中缺少%1(X应用的密钥)</source>
        <translation>%1 (your X app's key) is missing from [Consumers] in Services.ini</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>Services.ini的[Consumers]中缺少%1和%2(X应用的密钥)</source>
        <translation>%1 and %2 (your X app's keys) are missing from [Consumers] in Services.ini</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>您选择了发表到Twitter，但是您尚未绑定Twitter账号!</source>
        <translation>You ticked Twitter, but no Twitter account is bound yet!</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>绑定到Twitter...</source>
        <translation>Binding to Twitter...</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>获取Request Token失败!</source>
        <translation>Could not get the request token!</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>获取Access Token失败!</source>
        <translation>Could not get the access token!</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>正在发到Twitter...</source>
        <translation>Posting to Twitter...</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>成功发表一条Tweet!</source>
        <translation>Posted a tweet!</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>发表Tweet失败!</source>
        <translation>Posting the tweet failed!</translation>
    </message>
    <message>
        <location filename="../../services/Twitter.cpp"/>
        <source>发到Twitter</source>
        <translation>Twitter</translation>
    </message>
    <message>
        <location filename="../../settings/Profile.cpp"/>
        <source>设置文件无法使用(%1)</source>
        <translation>the settings file cannot be used (%1)</translation>
    </message>
    <message>
        <location filename="../../settings/Profile.cpp"/>
        <source>设置文件将超过1 MB</source>
        <translation>the settings file would grow past 1 MB</translation>
    </message>
    <message>
        <location filename="../../settings/Profile.cpp"/>
        <source>无法写入设置文件(%1: %2)</source>
        <translation>the settings file cannot be written (%1: %2)</translation>
    </message>
    <message>
        <location filename="../../res/desktop/plumfinch.desktop"/>
        <source>微博同步发布</source>
        <translation>Micro-blog Poster</translation>
    </message>
    <message>
        <location filename="../../res/desktop/plumfinch.desktop"/>
        <source>微博;腾讯;新浪;搜狐;Mastodon;Bluesky;发布;</source>
        <translation>weibo;microblog;twitter;mastodon;fediverse;bluesky;post;</translation>
    </message>
    <message>
        <location filename="../../res/desktop/org.example.plumfinch.metainfo.xml"/>
        <source>绑定一次腾讯、新浪、搜狐微博、Twitter、Mastodon（或兼容其接口的服务器）和 Bluesky 账号，写好一条微博（可附图片）， 勾选要发到的服务，一键同时发表。每个结果都记在带时间的状态日志里。</source>
        <translation>Plumfinch binds your accounts on Tencent Weibo, Sina Weibo, Sohu Weibo, Twitter, Mastodon (or any server that speaks its API) and Bluesky once, then posts a status, with a picture if you like, to all the services you tick with one click. Each result lands as a time-stamped line in the status log.</translation>
    </message>
    <message>
        <location filename="../../res/desktop/org.example.plumfinch.metainfo.xml"/>
        <source>它在后台查看腾讯、新浪、搜狐、Mastodon 和 Bluesky 的新消息、@提到、关注的更新和新粉丝，并以小弹窗提醒。 它住在通知区域，可随系统启动隐藏运行，也可经 HTTP、SOCKS4 或 SOCKS5 代理上网。</source>
        <translation>In the background it watches Tencent, Sina, Sohu, Mastodon and Bluesky for new messages, mentions, posts and followers and announces each in a small popup. It lives in the notification area, can start hidden at logon, and can route its traffic through an HTTP, SOCKS4 or SOCKS5 proxy.</translation>
    </message>
    <message>
        <location filename="../../res/desktop/org.example.plumfinch.metainfo.xml"/>
        <source>六个服务中如今能使用的是 Mastodon、Bluesky 和 Twitter（X，需要您自己的开发者应用）：腾讯微博和搜狐微博已经关闭，新浪也不再提供程序所用的接口。</source>
        <translation>Of the six, Mastodon, Bluesky and Twitter (X, with a developer app of your own) can still be used: Tencent Weibo and Sohu Weibo have closed, and Sina no longer serves the endpoints the program uses.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Plumfinch 使用说明</source>
        <translation>Plumfinch usage guide</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Plumfinch v1.1 使用说明</source>
        <translation>Plumfinch v1.1 usage guide</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Plumfinch 是一个小工具：在一个窗口里写好一条微博，勾选要发到的服务，点一次 “发表”，就能同时发到六个服务：腾讯微博、新浪微博、搜狐微博、Twitter、Mastodon（或兼容 Mastodon 接口的服务器，如 Pleroma、Akkoma、GoToSocial）和 Bluesky（bsky.social 或自建的 PDS 服务器）。程序运行时还会在后台检查您的账号， 有新私信、提到您的消息、关注的人发了新微博或有新粉丝时，在屏幕右下角弹出提醒。</source>
        <translation>Plumfinch is a small tool: write a status in one window, tick the services it should go to, click “Send” once, and it is posted to six services at the same time: Tencent Weibo, Sina Weibo, Sohu Weibo, Twitter, Mastodon (or a server that speaks Mastodon’s API, such as Pleroma, Akkoma or GoToSocial) and Bluesky (bsky.social or a self-hosted PDS). While it runs, the program also checks your accounts in the background and shows an alert at the bottom right of the screen when there are new messages, mentions, new posts from people you follow, or new followers.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>腾讯微博和搜狐微博已经关闭，新浪也不再提供程序所用的接口， 所以六个服务中如今能使用的是 Mastodon、Bluesky 和 Twitter（X，需要您自己的 X 开发者应用， 其密钥写在 Services.ini 的 [Consumers] 中）。</source>
        <translation>Tencent Weibo and Sohu Weibo have closed, and Sina no longer serves the endpoints the program uses, so of the six services Mastodon, Bluesky and Twitter (X, with a developer app of your own, its keys in [Consumers] of Services.ini) can be used today.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>1. 绑定账号</source>
        <translation>1. Binding an account</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>在主窗口左上角“绑定微博”里点击要绑定的服务：“新浪”、“腾讯”、“搜狐”、“Twitter”、“Mastodon”或“Bluesky”。</source>
        <translation>In “Bind” at the top left of the main window, click the service to bind: “Sina”, “Tencent”, “Sohu”, “Twitter”, “Mastodon” or “Bluesky”.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>程序会在浏览器中打开该服务的授权页面。请登录并同意授权，页面上会显示一个验证码。</source>
        <translation>The program opens the service’s authorisation page in the browser. Sign in and authorise the program; the page then shows a code.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>把验证码输入（或粘贴到）程序弹出的小窗口，点“确定”或按回车。窗口打开时光标已经在输入框里。</source>
        <translation>Type (or paste) the code into the small window the program opens and click “OK” or press Enter. The cursor is already in the field when the window opens.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>绑定成功后，右侧“已绑定”里会显示您的账号名，状态日志里也会记下一行。</source>
        <translation>Once bound, your account name appears under “Accounts” on the right, and the status log gets a line.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>每个服务只需绑定一次，程序会记住授权。想换一个账号，重新点击绑定按钮即可。</source>
        <translation>Each service needs to be bound only once; the program remembers the authorisation. To switch to another account, click the bind button again.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>&lt;b&gt;Mastodon&lt;/b&gt;：点击“Mastodon”后，程序先在“绑定Mastodon”窗口里询问服务器地址，例如 &lt;code&gt;mastodon.social&lt;/code&gt;、&lt;code&gt;主机:端口&lt;/code&gt;，或不带路径的 &lt;code&gt;https://&lt;/code&gt; 地址； 窗口里已经填好上次绑定的服务器（第一次是 &lt;code&gt;Services.ini&lt;/code&gt; 指定的服务器，没有指定时是 &lt;code&gt;mastodon.social&lt;/code&gt;）。点“确定”后，程序在该服务器上登记自己 （每个服务器只登记一次），然后在浏览器中打开服务器的授权页面。登录并授权后，页面上会显示一个验证码， 把它粘贴到验证码窗口即可。绑定成功后，“已绑定”里的“Mastodon:”一行显示 &lt;code&gt;@用户名@服务器&lt;/code&gt;。 程序只通过 https 连接 Mastodon 服务器，并检查服务器的证书：证书是自签名的、已过期的或不属于该服务器的， 都会被拒绝。想收回授权，可以在服务器上账号设置的“已授权的应用”里撤销 Plumfinch；之后程序会在状态日志里提示一次， 请重新绑定。</source>
        <translation>&lt;b&gt;Mastodon&lt;/b&gt;: after you click “Mastodon”, the program first asks for the server in the “Bind Mastodon” window, for example &lt;code&gt;mastodon.social&lt;/code&gt;, &lt;code&gt;host:port&lt;/code&gt;, or an &lt;code&gt;https://&lt;/code&gt; address without a path; the window offers the server bound last (the first time, the server named in &lt;code&gt;Services.ini&lt;/code&gt;, or else &lt;code&gt;mastodon.social&lt;/code&gt;). After “OK” the program registers itself on that server (once per server) and opens the server’s authorisation page in the browser. Once you have signed in and authorised it, the page shows a code; paste it into the code window. Once bound, the line “Mastodon:” under “Accounts” shows &lt;code&gt;@user@server&lt;/code&gt;. The program connects to a Mastodon server over https only and checks the server’s certificate: a certificate that is self-signed, expired or not the server’s own is refused. To take the authorisation back, revoke Plumfinch under “Authorized apps” in your account settings on the server; the program then says so once in the status log, and you can bind again.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>&lt;b&gt;Bluesky&lt;/b&gt;：Bluesky 不用验证码，而是用&lt;b&gt;应用专用密码&lt;/b&gt;登录。点击“Bluesky”后会打开“绑定Bluesky”窗口：</source>
        <translation>&lt;b&gt;Bluesky&lt;/b&gt;: Bluesky is signed in with an &lt;b&gt;app password&lt;/b&gt;, not with a code. Clicking “Bluesky” opens the window “Bind Bluesky”:</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“服务器”：默认是 &lt;code&gt;bsky.social&lt;/code&gt;（上次绑定过时是上次的服务器）；自建 PDS 请填它的域名或 &lt;code&gt;主机:端口&lt;/code&gt;，只能用 https，不要带路径。</source>
        <translation>“Server”: &lt;code&gt;bsky.social&lt;/code&gt; by default (the server used last, after an earlier binding); for a self-hosted PDS enter its domain name or &lt;code&gt;host:port&lt;/code&gt;, https only, without a path.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“账号”：您的用户名（如 &lt;code&gt;alice.bsky.social&lt;/code&gt;）或注册邮箱。</source>
        <translation>“Account”: your handle (e.g. &lt;code&gt;alice.bsky.social&lt;/code&gt;) or the e-mail address you signed up with.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“应用专用密码”：点窗口里的“创建应用专用密码...”会在浏览器中打开 Bluesky 的设置页面 （&lt;code&gt;https://bsky.app/settings/app-passwords&lt;/code&gt;），在那里新建一个，格式是 &lt;code&gt;xxxx-xxxx-xxxx-xxxx&lt;/code&gt;，复制到这里。输入的密码不像应用专用密码时，程序会提醒一次； 确实要用，再点一次“确定”即可。开启了两步验证的账号只能用应用专用密码。</source>
        <translation>“App password”: “Create an app password...” opens Bluesky’s settings page in the browser (&lt;code&gt;https://bsky.app/settings/app-passwords&lt;/code&gt;); add one there (it looks like &lt;code&gt;xxxx-xxxx-xxxx-xxxx&lt;/code&gt;) and copy it here. A password that does not look like an app password gets one warning; to use it anyway, click “OK” again. An account with two-factor sign-in can only be bound with an app password.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>绑定成功后，“已绑定”里的“Bluesky:”一行显示 &lt;code&gt;@用户名&lt;/code&gt;。程序不保存密码，只保存服务器发给它的授权， 授权过期时自动续期。授权被收回（例如删除了应用专用密码）时，状态日志里会提示一次，请重新绑定。</source>
        <translation>Once bound, the line “Bluesky:” under “Bound” shows &lt;code&gt;@handle&lt;/code&gt;. The program keeps no password, only the session the server gave it, and renews the session when it expires. When the session is taken back (for instance, the app password was deleted), the status log says so once; please bind again.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>2. 发微博</source>
        <translation>2. Posting a status</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>在“发微博”框里写好内容（内容不能为空）。</source>
        <translation>Write the status in the “New status” box (it must not be empty).</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>在下方勾选要发到的服务：“新浪微博”、“腾讯微博”、“搜狐微博”、“发到Twitter”、“发到Mastodon”、“发到Bluesky”。</source>
        <translation>Below it, tick the services to post to: “Sina”, “Tencent”, “Sohu”, “Twitter”, “Mastodon”, “Bluesky”.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>点击“发表(&amp;amp;S)”。发送在后台进行，每个服务的结果都会写进左边的“状态日志”。</source>
        <translation>Click “Send (&amp;amp;S)”. Sending runs in the background, and each service’s result is written to the “Status log” on the left.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>勾选“新浪微博”时，其它五个服务会被取消勾选并暂时不能勾选；勾选了其它任何一个服务时， “新浪微博”也不能勾选：新浪微博只能单独发送。如果想同时发到全部服务，可以在设置文件 &lt;code&gt;Setting.ini&lt;/code&gt; 的 &lt;code&gt;[Plumfinch]&lt;/code&gt; 一节里加上一行 &lt;code&gt;SinaLimit=0&lt;/code&gt;，然后重新启动程序。</source>
        <translation>Ticking “Sina” clears the other five services and greys them out; while any other service is ticked, “Sina” cannot be ticked: Sina Weibo takes a status only on its own. To post to all services at once, add the line &lt;code&gt;SinaLimit=0&lt;/code&gt; to the &lt;code&gt;[Plumfinch]&lt;/code&gt; section of the settings file &lt;code&gt;Setting.ini&lt;/code&gt; and start the program again.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>发到 Mastodon 之前，程序先向服务器查询一条嘟文的字数上限（服务器没有给出时为 500 字；按字而不是字节计算， 每个链接算 23 字）。内容超过上限时会弹出提示，这一次哪个服务都不发。</source>
        <translation>Before posting to Mastodon, the program asks the server for the longest status it takes (500 characters when the server names none; counted in characters, not bytes, and every link counts as 23). A longer status gets a message, and it goes to no service that time.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Bluesky 一条帖子最多 300 个字（按用户看到的字符计算，一个带肤色的表情算一个字），并且不超过 3000 字节； 超过时会弹出提示，这一次哪个服务都不发。帖子里的链接、&lt;code&gt;#话题&lt;/code&gt; 和 &lt;code&gt;@用户名&lt;/code&gt; 在 Bluesky 上可以点击。</source>
        <translation>A Bluesky post holds at most 300 characters (as the reader sees them: an emoji with its skin tone counts once) and at most 3000 bytes; a longer status gets a message, and it goes to no service that time. Links, &lt;code&gt;#tags&lt;/code&gt; and &lt;code&gt;@handles&lt;/code&gt; in the post can be clicked on Bluesky.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>勾选了但尚未绑定的服务，程序会提醒您先去绑定，这一次什么都不会发出。</source>
        <translation>For a service that is ticked but not bound, the program asks you to bind it first, and nothing is sent that time.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>3. 附带图片</source>
        <translation>3. Adding a picture</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>每条微博可以带一张图片（.jpg、.gif 或 .png）：点“浏览...”选择图片，或者直接把一张图片文件 拖到主窗口上。图片路径显示在“图片:”框里；清空这个框就不带图片。在选择窗口中点“取消”也会清空它。</source>
        <translation>Each status can carry one picture (.jpg, .gif or .png): click “Browse...” to choose it, or drag a picture file onto the main window. The path appears in the “Image:” field; clear the field to post without a picture. Clicking “Cancel” in the file window clears it too.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>发到 Mastodon 的图片先上传到服务器；服务器还在处理图片时，程序每秒询问一次，最多等一分钟。</source>
        <translation>A picture for Mastodon is uploaded to the server first; while the server is still processing it, the program asks again every second, for at most a minute.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Bluesky 只接受不超过 1MB 的图片；更大的图片由程序缩小并转成 JPEG 后上传，状态日志里会注明。</source>
        <translation>Bluesky takes pictures of at most 1 MB; the program scales a bigger one down and uploads it as JPEG, and the status log says so.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>4. 新消息提醒</source>
        <translation>4. Alerts</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>程序每隔 30 到 45 秒检查一次已绑定的腾讯、新浪、搜狐、Mastodon 和 Bluesky 账号（Twitter 不检查）。 在“设置”里可以选择要提醒的内容：</source>
        <translation>Every 30 to 45 seconds the program checks the bound Tencent, Sina, Sohu, Mastodon and Bluesky accounts (Twitter is not checked). Under “Options” you choose what to be alerted about:</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“收到@我消息或私信时提醒”</source>
        <translation>“Alert: @me, messages”</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“我关注的微博有更新提醒”</source>
        <translation>“Alert: new posts”</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>“当有新粉丝/听众时提醒”</source>
        <translation>“Alert: new followers”</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>Mastodon 和 Bluesky 上的新提及（Bluesky 还包括回复和引用）按“收到@我消息或私信时提醒”、新关注者按“当有新粉丝/听众时提醒”提醒 （第一次检查只记下当前的状态）。</source>
        <translation>On Mastodon and Bluesky, new mentions (on Bluesky also replies and quotes) follow “Alert: @me, messages” and new followers “Alert: new followers” (the first check only notes the current state).</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>提醒窗口出现在屏幕右下角，15 秒后自动关闭；点“查看(&amp;amp;V)”会在浏览器中打开对应的页面 （Mastodon 是服务器的通知页面，Bluesky 是 &lt;code&gt;https://bsky.app/notifications&lt;/code&gt;）。 程序不会把 Bluesky 的通知标为已读。</source>
        <translation>The alert appears at the bottom right of the screen and closes itself after 15 seconds; “View (&amp;amp;V)” opens the matching page in the browser (for Mastodon, the server’s notifications page; for Bluesky, &lt;code&gt;https://bsky.app/notifications&lt;/code&gt;). The program never marks Bluesky’s notifications as read.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>5. 代理设置</source>
        <translation>5. Proxy settings</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>如果需要通过代理服务器上网，请打开菜单“设置(&amp;amp;S)” → “代理设置(&amp;amp;P)”：</source>
        <translation>To reach the internet through a proxy server, open the menu “Settings (&amp;amp;S)” → “Proxy settings (&amp;amp;P)”:</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>&lt;b&gt;代理应用范围&lt;/b&gt;：全部直接连接；只为 Twitter 使用代理、其它直连；或者全部使用代理 （Mastodon、Bluesky 和腾讯、新浪、搜狐一样，只在“全部使用代理”时经过代理）。</source>
        <translation>&lt;b&gt;Use the proxy for&lt;/b&gt;: nothing (connect directly); Twitter only, the rest directly; or every service (Mastodon and Bluesky, like Tencent, Sina and Sohu, go through the proxy only with “Every service”).</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>&lt;b&gt;代理类型&lt;/b&gt;：HTTP、SOCKS4 或 SOCKS5。</source>
        <translation>&lt;b&gt;Proxy type&lt;/b&gt;: HTTP, SOCKS4 or SOCKS5.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>&lt;b&gt;地址&lt;/b&gt;：代理服务器的数字 IPv4 地址，例如 &lt;code&gt;192.168.1.1&lt;/code&gt;（不能填写主机名）； &lt;b&gt;端口&lt;/b&gt;：例如 &lt;code&gt;1080&lt;/code&gt;。</source>
        <translation>&lt;b&gt;IP&lt;/b&gt;: the proxy server’s numeric IPv4 address, for example &lt;code&gt;192.168.1.1&lt;/code&gt; (not a host name); &lt;b&gt;Port&lt;/b&gt;: for example &lt;code&gt;1080&lt;/code&gt;.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>选择了使用代理时地址不能为空。点“确定”后立即生效：之后的每个请求都使用新的代理， 正在进行的请求仍按原来的方式完成。</source>
        <translation>With a proxy chosen, the address must not be empty. “OK” takes effect at once: every later request uses the new proxy, and requests under way finish the way they started.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>6. 开机自动启动</source>
        <translation>6. Starting at logon</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>勾选“系统启动时自动启动”后，您下次登录桌面时程序会自动启动，并隐藏在通知区域（托盘）里； 双击托盘图标或在托盘菜单中选择显示即可打开主窗口。取消勾选则不再自动启动。</source>
        <translation>With “Start at logon” ticked, the program starts by itself the next time you log on to the desktop and stays hidden in the notification area (the tray); double-click the tray icon or choose show in the tray menu to open the main window. Untick it and the program no longer starts by itself.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>程序是通过桌面的自动启动目录做到这一点的：勾选时写入 &lt;code&gt;~/.config/autostart/Quillmere.desktop&lt;/code&gt;（如果设置了 &lt;code&gt;XDG_CONFIG_HOME&lt;/code&gt;， 则在 &lt;code&gt;$XDG_CONFIG_HOME/autostart/&lt;/code&gt; 下），其中的命令是程序路径加上参数 &lt;code&gt;-background&lt;/code&gt;。如果您移动了程序文件，请取消勾选再重新勾选一次。</source>
        <translation>The program does this through the desktop’s autostart folder: ticking the box writes &lt;code&gt;~/.config/autostart/Quillmere.desktop&lt;/code&gt; (under &lt;code&gt;$XDG_CONFIG_HOME/autostart/&lt;/code&gt; when &lt;code&gt;XDG_CONFIG_HOME&lt;/code&gt; is set), whose command is the program’s path with the argument &lt;code&gt;-background&lt;/code&gt;. If you move the program file, untick the box and tick it again.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>没有通知区域的桌面上，程序会以最小化的窗口启动，而不是完全隐藏。</source>
        <translation>On a desktop without a notification area the program starts with its window minimised instead of hidden.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>7. 设置保存在哪里</source>
        <translation>7. Where the settings are kept</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>所有设置和账号授权都保存在文本文件 &lt;code&gt;Setting.ini&lt;/code&gt; 中：</source>
        <translation>All settings and account authorisations are kept in the text file &lt;code&gt;Setting.ini&lt;/code&gt;:</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>如果程序所在的文件夹可以写入，就放在程序旁边（方便携带使用）；</source>
        <translation>beside the program, when its folder can be written to (handy for a portable copy);</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>否则放在 &lt;code&gt;~/.config/Plumfinch/&lt;/code&gt;（或 &lt;code&gt;$XDG_CONFIG_HOME/Plumfinch/&lt;/code&gt;）；</source>
        <translation>otherwise in &lt;code&gt;~/.config/Plumfinch/&lt;/code&gt; (or &lt;code&gt;$XDG_CONFIG_HOME/Plumfinch/&lt;/code&gt;);</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>也可以用环境变量 &lt;code&gt;PLUMFINCH_CONFIG_DIR&lt;/code&gt; 指定一个文件夹。</source>
        <translation>or in a folder named by the environment variable &lt;code&gt;PLUMFINCH_CONFIG_DIR&lt;/code&gt;.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>这个文件里有您的账号授权，请不要发给别人。删除其中某个服务的几行并重新启动程序，就等于取消了该服务的绑定。</source>
        <translation>This file holds your accounts’ authorisations: do not send it to anyone. Deleting a service’s lines from it and starting the program again unbinds that service.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>从 Windows 拷来的 &lt;code&gt;Setting.ini&lt;/code&gt; 可以直接使用，UTF-16 编码的也可以；程序保存时保持文件原来的编码。 如果这个文件根本不是文本（例如已经损坏），程序会把它改名为 &lt;code&gt;Setting.ini.unreadable-日期-时间&lt;/code&gt; 保留下来，从空白的设置重新开始，并在状态日志里写明保留的文件名。</source>
        <translation>A &lt;code&gt;Setting.ini&lt;/code&gt; copied from Windows works as it is, in UTF-16 too; the program keeps the file’s encoding when it saves. When the file is not text at all (a damaged one, say), the program renames it &lt;code&gt;Setting.ini.unreadable-date-time&lt;/code&gt; to keep it, starts from empty settings, and names the kept file in the status log.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>提醒选项、自动启动和发送目标的勾选在关闭程序时保存；代理设置在点“确定”时保存； 账号在绑定成功时保存。</source>
        <translation>The alert options, start at logon and the ticked services are saved when the program closes; the proxy settings when you click “OK”; an account when it is bound.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>8. 其它</source>
        <translation>8. Other things</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>菜单“快速访问(&amp;amp;V)”可以直接在浏览器中打开腾讯、新浪、搜狐微博和 Twitter 的网站； 其中的 Mastodon 打开已绑定账号所在的服务器（未绑定时打开 joinmastodon.org），Bluesky 打开 bsky.app。关闭主窗口即退出程序；最小化则隐藏到托盘。</source>
        <translation>The menu “Quick visit (&amp;amp;V)” opens the sites of Tencent, Sina and Sohu Weibo and Twitter in the browser; its Mastodon entry opens the server of the bound account (joinmastodon.org when none is bound), its Bluesky entry bsky.app. Closing the main window exits the program; minimising hides it in the tray.</translation>
    </message>
    <message>
        <location filename="../../res/help/usage.html"/>
        <source>在终端里运行 &lt;code&gt;plumfinch --help&lt;/code&gt; 可以看到命令行选项和程序读取的环境变量， &lt;code&gt;plumfinch --version&lt;/code&gt; 显示版本。设置环境变量 &lt;code&gt;PLUMFINCH_LANG=zh&lt;/code&gt; 或 &lt;code&gt;en&lt;/code&gt; 可以指定窗口的语言（中文或英文），不按系统的区域设置。</source>
        <translation>In a terminal, &lt;code&gt;plumfinch --help&lt;/code&gt; shows the command-line options and the environment variables the program reads, and &lt;code&gt;plumfinch --version&lt;/code&gt; the version. &lt;code&gt;PLUMFINCH_LANG=zh&lt;/code&gt; or &lt;code&gt;en&lt;/code&gt; chooses the language of the window instead of the locale.</translation>
    </message>
</context>
</TS>
