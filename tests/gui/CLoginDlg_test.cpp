#include "app/CLoginDlg.h"
#include "platform/TextEncoding.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/AccessibleTree.h"

#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

TEST(CLoginDlg, OkNeedsBothFieldsAndTheFocusStartsWhereTypingIsNeeded) {
    TempDir dir(true);
    const struct {
        bool remembered;         // config.ini remembers me@x.cn with password pw
        QString email, password; // typed over what was filled in, unless null
        int result;
        QString reason; // shown, with the focus in the field it names
    } cases[] = {
        {false, "", "", 0, "请输入邮箱"},        {false, " ", "pw", 0, "请输入邮箱"},
        {false, "me@x.cn", "", 0, "请输入密码"}, {true, {}, "", 0, "请输入密码"},
        {false, "me@x.cn", "pw", 1, ""},         {true, {}, {}, 1, ""},
    };
    for (const auto& c : cases) {
        dir.WriteFile("config.ini",
                      c.remembered ? "[Account]\r\nremstate=on\r\nemail=" + HexEncode("me@x.cn") +
                                         "\r\npass=" + HexEncode("pw") + "\r\n"
                                   : "");
        CLoginDlg login;
        EXPECT_EQ(login.focusWidget(), c.remembered ? login.PasswordEdit() : login.EmailEdit());
        if (!c.email.isNull())
            login.EmailEdit()->setText(c.email);
        if (!c.password.isNull())
            login.PasswordEdit()->setText(c.password);
        login.OnOk();
        EXPECT_EQ(login.result(), c.result) << c.reason.toStdString();
        EXPECT_EQ(login.ReasonLine()->text(), c.reason);
        QWidget* field = c.reason.contains("邮箱") ? login.EmailEdit() : login.PasswordEdit();
        EXPECT_TRUE(c.result == 1 || login.focusWidget() == field);
    }
}

TEST(CLoginDlg, AFailureIsShownAsPlainTextWithThePasswordSelectedAndReadByItsCaption) {
    TempDir dir(true);
    CLoginDlg login;
    login.FillAccount("me@x.cn", "secret");
    const QString reason = QStringLiteral("<b>错</b>&amp;") + QString(300, QChar('x'));
    login.SetFailure(reason);
    EXPECT_EQ(login.EmailEdit()->text(), QStringLiteral("me@x.cn"));
    EXPECT_EQ(login.focusWidget(), login.PasswordEdit());
    EXPECT_EQ(login.PasswordEdit()->selectedText(), QStringLiteral("secret"));
    // Too long for its line: cut with an ellipsis, the whole reason its description.
    const QLabel* line = login.ReasonLine();
    EXPECT_EQ(line->textFormat(), Qt::PlainText);
    EXPECT_TRUE(line->text().startsWith("<b>错</b>&amp;x") && line->text().endsWith("…"));
    EXPECT_EQ(line->accessibleDescription(), reason);
    const auto tree = AccessibleTree(&login);
    for (const char* line :
         {"EditableText 邮箱 =me@x.cn", "EditableText 密码 =******", "CheckBox 记住密码",
          "CheckBox 自动登录", "Button 确定", "Button 取消"})
        EXPECT_EQ(tree.count(line), 1u) << line;
}

} // namespace
