// Where the export files go, and the window's way to show that folder.
#include "gui/DataFolder.h"
#include "gui/MainWindow.h"
#include "tests/support/RecordingOperator.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>
#include <unistd.h>

namespace {

// Catches what the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

// Sets an environment variable for a scope; an empty value unsets it.
class EnvironmentVariable
{
public:
    EnvironmentVariable(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentVariable()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT

private slots:
    void chooseDataFolder_data();
    void chooseDataFolder();
    void windowOpensItsFolder();
    void folderThatCannotBeCreated();
    void desktopWithoutAFileManager();
};

void TestDataFolder::chooseDataFolder_data()
{
    QTest::addColumn<QString>("program");     // the program's folder, "" for the temp one
    QTest::addColumn<bool>("writable");       // may the user write in it
    QTest::addColumn<QString>("xdgDataHome"); // XDG_DATA_HOME: "" unset, "relative", or a folder
    QTest::addColumn<QString>("expected");    // relative to the temp folder

    QTest::newRow("run from its build folder") << "" << true << "xdg"
                                               << "program/Data";
    QTest::newRow("installed, folder not writable") << "" << false << "xdg"
                                                    << "xdg/token-station/Data";
    QTest::newRow("installed, no XDG_DATA_HOME") << "" << false << ""
                                                 << "home/.local/share/token-station/Data";
    // Not the folder the station was started in.
    QTest::newRow("installed, relative XDG_DATA_HOME") << "" << false << "relative"
                                                       << "home/.local/share/token-station/Data";
    // Root may write in /usr/bin, but the package manager owns it.
    QTest::newRow("in /usr/bin") << "/usr/bin" << true << "xdg"
                                 << "xdg/token-station/Data";
}

void TestDataFolder::chooseDataFolder()
{
    QFETCH(QString, program);
    QFETCH(bool, writable);
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, expected);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    QVERIFY(QFile::setPermissions(temp.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
    if (program.isEmpty()) {
        program = dir.filePath(QStringLiteral("program"));
        QVERIFY(dir.mkdir(QStringLiteral("program")));
        if (!writable)
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner |
                                                       QFile::ReadOther | QFile::ExeOther));
    }
    QByteArray xdgValue;
    if (xdgDataHome == QLatin1String("relative"))
        xdgValue = "data";
    else if (!xdgDataHome.isEmpty())
        xdgValue = dir.filePath(xdgDataHome).toLocal8Bit();
    EnvironmentVariable xdg("XDG_DATA_HOME", xdgValue);
    EnvironmentVariable home("HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());

    // Root writes in any folder: the one the user may not write in is
    // tried as nobody, as an operator's account would see it.
    const bool dropRoot = !writable && geteuid() == 0;
    if (dropRoot)
        QCOMPARE(setresuid(65534, 65534, 0), 0);
    const QString chosen = ChooseDataFolder(program);
    if (dropRoot)
        QCOMPARE(setresuid(0, 0, 0), 0);

    QCOMPARE(chosen, dir.filePath(expected));
}

void TestDataFolder::windowOpensItsFolder()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString folder = temp.filePath(QStringLiteral("user/token-station/Data"));
    RecordingOperator op;
    MainWindow window(op, folder);
    QCOMPARE(window.dataFolder(), folder);

    // In the context menu, just before "About...".
    const QList<QAction*> actions = window.actions();
    auto* open = window.findChild<QAction*>(QStringLiteral("openDataFolderAction"));
    QVERIFY(open);
    QCOMPARE(open->text(), QStringLiteral("Open Data Folder"));
    const qsizetype at = actions.indexOf(open);
    QVERIFY(at >= 0 && at + 1 < actions.size());
    QCOMPARE(actions[at + 1]->objectName(), QStringLiteral("aboutAction"));
    QCOMPARE(window.contextMenuPolicy(), Qt::ActionsContextMenu);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    open->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    // Before the first export the folder does not exist yet: it is made, so
    // the file manager has something to show.
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(op.messages().empty());
}

void TestDataFolder::folderThatCannotBeCreated()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QFile blocker(temp.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = temp.filePath(QStringLiteral("file/Data"));

    RecordingOperator op;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    OpenDataFolder(folder, op);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QVERIFY(catcher.urls.isEmpty());
    const auto messages = op.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, QStringLiteral("Cannot create the data folder ") + folder);
    QCOMPARE(messages[0].caption, QStringLiteral("ERROR"));
    QCOMPARE(messages[0].icon, MessageIcon::Stop);
}

// A desktop that cannot show a folder (no launcher on the PATH, and none
// on the offscreen platform): the operator is told, rather than the click
// doing nothing.
void TestDataFolder::desktopWithoutAFileManager()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    EnvironmentVariable path("PATH", temp.path().toLocal8Bit());
    RecordingOperator op;
    OpenDataFolder(temp.path(), op);

    const auto messages = op.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text,
             QStringLiteral("The desktop has no program to show the data folder ") + temp.path());
}

QTEST_MAIN(TestDataFolder)
#include "TestDataFolder.moc"
