#include "app/ScrobblePage.h"

#include "app/ScrobbleBridge.h"
#include "scrobble/ListenBrainzClient.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using TokenState = ListenBrainzClient::TokenState;

QLabel* NoteLabel(const QString& name) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText); // server texts among them
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(name);
    return label;
}

} // namespace

ScrobblePage::ScrobblePage(ScrobbleBridge& bridge_, QWidget* parent)
    : QWidget(parent), bridge(bridge_) {
    switchBox = new QCheckBox(tr("把听过的歌曲记录到听歌历史服务器(&E)"));
    switchBox->setChecked(bridge.Settings().on);
    serverField = new QLineEdit(QString::fromStdString(bridge.Settings().server));
    serverField->setAccessibleName(tr("听歌记录服务器的地址"));
    serverField->setMaxLength(int(ScrobbleSettings::kMaxServerBytes));
    tokenField = new QLineEdit;
    tokenField->setEchoMode(QLineEdit::Password);
    tokenField->setAccessibleName(tr("听歌记录服务器的用户令牌"));
    tokenField->setMaxLength(int(ListenBrainzClient::kMaxTokenBytes));
    checkButton = new QPushButton(tr("检查并保存令牌(&V)"));
    forgetButton = new QPushButton(tr("删除令牌(&D)"));
    result = NoteLabel(tr("检查结果"));
    keyringNote = NoteLabel(tr("令牌的保存位置"));
    statusLine = NoteLabel(tr("发送状态"));

    auto* serverLabel = new QLabel(tr("服务器(&U):"));
    serverLabel->setBuddy(serverField);
    auto* tokenLabel = new QLabel(tr("令牌(&T):"));
    tokenLabel->setBuddy(tokenField);
    auto* form = new QFormLayout;
    form->addRow(serverLabel, serverField);
    form->addRow(tokenLabel, tokenField);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(checkButton);
    buttons->addWidget(forgetButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(switchBox);
    layout->addLayout(form);
    layout->addLayout(buttons);
    for (QLabel* label : {result, keyringNote, statusLine})
        layout->addWidget(label);

    connect(switchBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!bridge.SetEnabled(on))
            result->setText(tr("保存配置文件失败: 这项设置只在本次运行中有效。"));
    });
    connect(checkButton, &QPushButton::clicked, this, &ScrobblePage::OnCheck);
    connect(forgetButton, &QPushButton::clicked, this, [this] {
        bridge.SetToken({});
        result->setText(tr("令牌已删除。"));
    });
    connect(&bridge, &ScrobbleBridge::changed, this, &ScrobblePage::Refresh);
    Refresh();
}

ScrobblePage* ScrobblePage::AddTo(QWidget& page, ScrobbleBridge& bridge) {
    auto* added = new ScrobblePage(bridge, &page);
    if (auto* box = qobject_cast<QBoxLayout*>(page.layout()))
        box->insertWidget(0, added);
    return added;
}

void ScrobblePage::OnCheck() {
    const std::string server =
        ScrobbleSettings::Usable(serverField->text().trimmed().toStdString());
    std::string token = tokenField->text().trimmed().toStdString();
    if (token.empty())
        token = bridge.StoredToken();
    if (server.empty()) {
        result->setText(tr("服务器地址无效: 应以 http:// 或 https:// 开头。"));
        return;
    }
    if (token.empty()) {
        result->setText(tr("请先输入令牌。"));
        return;
    }
    // The check's state leads its reply: the user name or why not.
    const bool started = checkJob.Start(
        [server, token](const std::atomic<bool>& cancel) -> BackgroundJob::Reply {
            const auto check = ListenBrainzClient(server, &cancel).ValidateToken(token);
            return std::to_string(int(check.state)) +
                   (check.state == TokenState::kValid ? check.userName : check.error);
        },
        [this, server, token](BackgroundJob::Reply reply) { OnChecked(server, token, reply); });
    if (started) {
        checkButton->setEnabled(false);
        result->setText(tr("正在检查令牌..."));
    }
}

void ScrobblePage::OnChecked(const std::string& server, const std::string& token,
                             const BackgroundJob::Reply& reply) {
    checkButton->setEnabled(true);
    const int state =
        reply && !reply->empty() ? reply->front() - '0' : int(TokenState::kUnreachable);
    const QString said =
        reply && !reply->empty() ? QString::fromStdString(reply->substr(1)) : QString();
    switch (TokenState(state)) {
    case TokenState::kValid: {
        tokenField->clear();
        QString text = tr("令牌有效, 用户: %1").arg(said);
        if (!bridge.SetServer(server))
            text += tr(" 保存配置文件失败: 服务器地址只在本次运行中有效。");
        bridge.SetToken(token);
        result->setText(text);
        break;
    }
    case TokenState::kRefused:
        result->setText(tr("令牌被拒绝: %1").arg(said));
        break;
    default:
        result->setText(tr("无法检查令牌, 没有保存: %1").arg(said));
        break;
    }
}

void ScrobblePage::Refresh() {
    using Place = ScrobbleBridge::TokenPlace;
    const Place place = bridge.Token();
    keyringNote->setText(place == Place::kNoKeyring || place == Place::kThisRun
                             ? tr("没有可用的钥匙环: 令牌不会保存, 只在本次运行中有效。")
                             : tr("令牌保存在桌面的钥匙环中, 不写入 config.ini。"));
    tokenField->setPlaceholderText(place == Place::kKeyring   ? tr("已保存在钥匙环中")
                                   : place == Place::kThisRun ? tr("本次运行有效")
                                   : place == Place::kAsking  ? tr("正在读取钥匙环...")
                                                              : QString());
    forgetButton->setEnabled(!bridge.StoredToken().empty());

    const auto& status = bridge.LastStatus();
    QString text;
    if (!bridge.Running()) {
        text = tr("听歌记录已关闭。");
    } else {
        using State = Scrobbler::State;
        switch (status.state) {
        case State::kNoToken:
            text = tr("没有令牌: 听过的歌曲先记在本机。");
            break;
        case State::kIdle:
            text = tr("全部已发送。");
            break;
        case State::kSending:
            text = tr("正在发送...");
            break;
        case State::kWaiting:
            text = tr("暂时发送不了, 稍后再试: %1").arg(QString::fromStdString(status.error));
            break;
        case State::kTokenRefused:
            text = tr("服务器拒绝了令牌, 请输入新的令牌。");
            break;
        case State::kStopped:
            text = tr("已停止。");
            break;
        }
        if (status.queued > 0)
            text += tr(" %1 首歌曲等待发送。").arg(status.queued);
    }
    statusLine->setText(text);
}
