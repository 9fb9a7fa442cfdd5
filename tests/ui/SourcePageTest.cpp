// The "Source page" command of the library's context menu hands the file's "author" tag (a
// captured Referer, which anyone on the network can forge) to the desktop's address opener:
// only a strict http or https address may reach it. Every scheme used here has a handler of
// the test, so no browser or xdg-open ever starts.
#include "ShellFixture.h"
#include "library/TagStore.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

class OpenedAddresses final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

namespace {

const char* const kSchemes[] = {"http", "https", "javascript", "file", "data", "ftp", "smb", "mailto"};

class SourcePage : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_addresses, "open");
    }
    void TearDown() override
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    // Adds a row whose tag is `author`, triggers "Source page" on it, returns what was opened.
    QList<QUrl> openSourcePage(const QString& author)
    {
        m_addresses.opened.clear();
        const QString path = m_shell.addRow(QStringLiteral("clip"), QString::number(1700000000 + ++m_rows), author);
        EXPECT_TRUE(TagStore::write(path, QStringLiteral("author"), author));
        const std::unique_ptr<QMenu> menu(m_shell.page().libraryActions().buildContextMenu(0));
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == 200)
                action->trigger();
        }
        return m_addresses.opened;
    }

    ShellFixture m_shell;
    OpenedAddresses m_addresses;
    int m_rows = 0;
};

TEST_F(SourcePage, OpensOnlyAStrictWebAddress)
{
    EXPECT_EQ(openSourcePage(QStringLiteral("http://127.0.0.1:8080/page.html")),
              QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:8080/page.html"))});
    // Each of these holds "http://" (and so has the menu command) but is no address to open.
    for (const char* hostile : {
             "javascript:alert(document.cookie)//http://127.0.0.1/",
             "file:///etc/passwd#http://127.0.0.1/",
             "smb://attacker.test/share?http://127.0.0.1/",
             "http://bank.example@attacker.test/",
             "http://127.0.0.1/\x1b[2J",
             "http://127.0.0.1/ javascript:alert(1)",
             "see http://127.0.0.1/",
         })
        EXPECT_TRUE(openSourcePage(QString::fromLatin1(hostile)).isEmpty()) << hostile;
}

} // namespace

#include "SourcePageTest.moc"
