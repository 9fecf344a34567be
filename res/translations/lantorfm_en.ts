<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CChannelPage</name>
    <message>
        <source>频道列表</source>
        <translation>Channel list</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>频道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>当前频道</source>
        <translation>current channel</translation>
    </message>
</context>
<context>
    <name>CLantorListPage</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>标题</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>歌手</source>
        <translation>Artist</translation>
    </message>
    <message>
        <source>专辑</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>歌曲列表</source>
        <translation>Song list</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>liked</translation>
    </message>
    <message>
        <source>正在播放</source>
        <translation>playing</translation>
    </message>
    <message>
        <source>不喜欢</source>
        <translation>disliked</translation>
    </message>
</context>
<context>
    <name>CLoginDlg</name>
    <message>
        <source>保存配置文件失败</source>
        <translation>Could not save the settings file</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>LantorFM——登录</source>
        <translation>LantorFM — Sign in</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation>Email</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>记住密码</source>
        <translation>Remember</translation>
    </message>
    <message>
        <source>自动登录</source>
        <translation>Auto sign-in</translation>
    </message>
    <message>
        <source>请输入邮箱</source>
        <translation>Please enter your email</translation>
    </message>
    <message>
        <source>请输入密码</source>
        <translation>Please enter your password</translation>
    </message>
</context>
<context>
    <name>CLrcQueryDlg</name>
    <message>
        <source>正在搜索...</source>
        <translation>Searching...</translation>
    </message>
    <message>
        <source>没有找到歌词</source>
        <translation>No lyrics found</translation>
    </message>
    <message>
        <source>%1 没有响应</source>
        <translation>%1 did not answer</translation>
    </message>
    <message>
        <source>正在下载...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <source>下载失败</source>
        <translation>Download failed</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>歌词搜索</source>
        <translation>Lyrics search</translation>
    </message>
    <message>
        <source>演唱:</source>
        <translation>Artist:</translation>
    </message>
    <message>
        <source>歌曲:</source>
        <translation>Song:</translation>
    </message>
    <message>
        <source>歌曲</source>
        <translation>Song</translation>
    </message>
    <message>
        <source>演唱</source>
        <translation>Artist</translation>
    </message>
    <message>
        <source>站点</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>搜索结果</source>
        <translation>Search results</translation>
    </message>
    <message>
        <source>已保存 %1 - %2 的歌词, 用于 %3 - %4</source>
        <translation>Saved the lyrics of %1 - %2 for %3 - %4</translation>
    </message>
</context>
<context>
    <name>CLrcWindow</name>
    <message>
        <source>歌词</source>
        <translation>Lyrics</translation>
    </message>
</context>
<context>
    <name>CMainDlg</name>
    <message>
        <source>正在登录...</source>
        <translation>Signing in...</translation>
    </message>
    <message>
        <source>登录失败!</source>
        <translation>Sign-in failed!</translation>
    </message>
    <message>
        <source>准备列表...</source>
        <translation>Preparing...</translation>
    </message>
    <message>
        <source>正在缓冲</source>
        <translation>Buffering</translation>
    </message>
    <message>
        <source>正在播放</source>
        <translation>Playing</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>错误: 音频解码器初始化失败!</source>
        <translation>Error: the audio decoder could not start!</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>Like</translation>
    </message>
    <message>
        <source>不喜欢</source>
        <translation>Dislike</translation>
    </message>
    <message>
        <source>收听更多</source>
        <translation>Listen to more</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>上一首</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>下一首</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>LantorFM ( 私人电台 好歌随心听 )</source>
        <translation>LantorFM ( Your own radio: good songs, your way )</translation>
    </message>
    <message>
        <source>LantorFM (正在播放: %1 )</source>
        <translation>LantorFM (Playing: %1 )</translation>
    </message>
    <message>
        <source>缓冲中...</source>
        <translation>Buffering...</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>音量 +5</source>
        <translation>Volume +5</translation>
    </message>
    <message>
        <source>音量 -5</source>
        <translation>Volume -5</translation>
    </message>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
</context>
<context>
    <name>DesktopShell</name>
    <message>
        <source>设置...</source>
        <translation>Preferences...</translation>
    </message>
</context>
<context>
    <name>PreferencesDlg</name>
    <message>
        <source>设置</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>歌曲开始时显示通知(&amp;N)</source>
        <translation>&amp;Notify when a song starts</translation>
    </message>
    <message>
        <source>在系统托盘显示图标(&amp;T)</source>
        <translation>Show an icon in the system &amp;tray</translation>
    </message>
    <message>
        <source>关闭窗口时隐藏到托盘(&amp;C)</source>
        <translation>Hide in the tray when the window is &amp;closed</translation>
    </message>
    <message>
        <source>启动时隐藏到托盘(&amp;S)</source>
        <translation>&amp;Start hidden in the tray</translation>
    </message>
    <message>
        <source>锁屏时暂停, 解锁后继续播放(&amp;L)</source>
        <translation>Pause while the screen is &amp;locked, play on when it unlocks</translation>
    </message>
    <message>
        <source>播放时不让电脑休眠(&amp;K)</source>
        <translation>&amp;Keep the computer awake while playing</translation>
    </message>
    <message>
        <source>窗口与托盘</source>
        <translation>Window and tray</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>主窗口的快捷键</source>
        <translation>Shortcuts of the main window</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Shortcut</translation>
    </message>
    <message>
        <source>常规(&amp;G)</source>
        <translation>&amp;General</translation>
    </message>
    <message>
        <source>听歌记录(&amp;R)</source>
        <translation>Listening &amp;record</translation>
    </message>
    <message>
        <source>快捷键(&amp;K)</source>
        <translation>Shortcuts (&amp;K)</translation>
    </message>
    <message>
        <source>保存配置文件失败: 这项设置只在本次运行中有效。</source>
        <translation>Could not save the settings file: this setting lasts only until LantorFM ends.</translation>
    </message>
</context>
<context>
    <name>ScrobbleBridge</name>
    <message>
        <source>令牌被拒绝!</source>
        <translation>Token rejected!</translation>
    </message>
</context>
<context>
    <name>ScrobblePage</name>
    <message>
        <source>把听过的歌曲记录到听歌历史服务器(&amp;E)</source>
        <translation>R&amp;ecord the songs heard on a listening history server</translation>
    </message>
    <message>
        <source>听歌记录服务器的地址</source>
        <translation>Address of the listening history server</translation>
    </message>
    <message>
        <source>听歌记录服务器的用户令牌</source>
        <translation>User token for the listening history server</translation>
    </message>
    <message>
        <source>检查并保存令牌(&amp;V)</source>
        <translation>&amp;Verify and save the token</translation>
    </message>
    <message>
        <source>删除令牌(&amp;D)</source>
        <translation>&amp;Delete the token</translation>
    </message>
    <message>
        <source>检查结果</source>
        <translation>Result of the check</translation>
    </message>
    <message>
        <source>令牌的保存位置</source>
        <translation>Where the token is kept</translation>
    </message>
    <message>
        <source>发送状态</source>
        <translation>Sending</translation>
    </message>
    <message>
        <source>服务器(&amp;U):</source>
        <translation>Server &amp;URL:</translation>
    </message>
    <message>
        <source>令牌(&amp;T):</source>
        <translation>&amp;Token:</translation>
    </message>
    <message>
        <source>保存配置文件失败: 这项设置只在本次运行中有效。</source>
        <translation>Could not save the settings file: this setting lasts only until LantorFM ends.</translation>
    </message>
    <message>
        <source>令牌已删除。</source>
        <translation>Token deleted.</translation>
    </message>
    <message>
        <source>服务器地址无效: 应以 http:// 或 https:// 开头。</source>
        <translation>Invalid server address: it must start with http:// or https://.</translation>
    </message>
    <message>
        <source>请先输入令牌。</source>
        <translation>Please enter a token first.</translation>
    </message>
    <message>
        <source>正在检查令牌...</source>
        <translation>Checking the token...</translation>
    </message>
    <message>
        <source>令牌有效, 用户: %1</source>
        <translation>Token valid, user: %1</translation>
    </message>
    <message>
        <source> 保存配置文件失败: 服务器地址只在本次运行中有效。</source>
        <translation> Could not save the settings file: the server address lasts only until LantorFM ends.</translation>
    </message>
    <message>
        <source>令牌被拒绝: %1</source>
        <translation>Token rejected: %1</translation>
    </message>
    <message>
        <source>无法检查令牌, 没有保存: %1</source>
        <translation>Could not check the token, so it was not saved: %1</translation>
    </message>
    <message>
        <source>没有可用的钥匙环: 令牌不会保存, 只在本次运行中有效。</source>
        <translation>No keyring available: the token is not saved and lasts only until LantorFM ends.</translation>
    </message>
    <message>
        <source>令牌保存在桌面的钥匙环中, 不写入 config.ini。</source>
        <translation>The token is kept in the desktop&apos;s keyring, never in config.ini.</translation>
    </message>
    <message>
        <source>已保存在钥匙环中</source>
        <translation>Saved in the keyring</translation>
    </message>
    <message>
        <source>本次运行有效</source>
        <translation>Until LantorFM ends</translation>
    </message>
    <message>
        <source>正在读取钥匙环...</source>
        <translation>Reading the keyring...</translation>
    </message>
    <message>
        <source>听歌记录已关闭。</source>
        <translation>Listening record is off.</translation>
    </message>
    <message>
        <source>没有令牌: 听过的歌曲先记在本机。</source>
        <translation>No token: the songs heard are kept on this computer for now.</translation>
    </message>
    <message>
        <source>全部已发送。</source>
        <translation>All sent.</translation>
    </message>
    <message>
        <source>正在发送...</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>暂时发送不了, 稍后再试: %1</source>
        <translation>Cannot send for now, trying again later: %1</translation>
    </message>
    <message>
        <source>服务器拒绝了令牌, 请输入新的令牌。</source>
        <translation>The server rejected the token; please enter a new one.</translation>
    </message>
    <message>
        <source>已停止。</source>
        <translation>Stopped.</translation>
    </message>
    <message>
        <source> %1 首歌曲等待发送。</source>
        <translation> %1 song(s) waiting to be sent.</translation>
    </message>
</context>
<context>
    <name>SleepInhibitor</name>
    <message>
        <source>正在播放音乐</source>
        <translation>Playing music</translation>
    </message>
</context>
<context>
    <name>SongNotifier</name>
    <message>
        <source>下一首</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>Like</translation>
    </message>
    <message>
        <source>不喜欢</source>
        <translation>Dislike</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>下一首</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>Like</translation>
    </message>
    <message>
        <source>不喜欢</source>
        <translation>Dislike</translation>
    </message>
    <message>
        <source>频道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>显示主窗口</source>
        <translation>Show the main window</translation>
    </message>
    <message>
        <source>设置...</source>
        <translation>Preferences...</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>%1 (已暂停)</source>
        <translation>%1 (paused)</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
</context>
</TS>
