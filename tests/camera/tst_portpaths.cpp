#include "camera/PortPaths.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

// Sets or clears an environment variable for one scope, restoring it afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray *value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

class TestPortPaths : public QObject
{
    Q_OBJECT

private slots:
    void resolvesPortNames_data();
    void resolvesPortNames();
    void folderFollowsXdgConfigHome_data();
    void folderFollowsXdgConfigHome();
};

void TestPortPaths::resolvesPortNames_data()
{
    QTest::addColumn<QString>("link"); // the link COMn's target, empty for no link
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // "@" stands for the port folder

    QTest::newRow("absolute link") << "/dev/pts/7"
                                   << "COM1"
                                   << "/dev/pts/7";
    QTest::newRow("relative link, relative to the folder") << "../devices/tty9"
                                                           << "COM2"
                                                           << "@/../devices/tty9";
    QTest::newRow("dangling link names its target") << "/nonexistent/ttyX"
                                                    << "COM3"
                                                    << "/nonexistent/ttyX";
    QTest::newRow("no link: first standard port") << ""
                                                  << "COM1"
                                                  << "/dev/ttyS0";
    QTest::newRow("no link: port four") << ""
                                        << "COM4"
                                        << "/dev/ttyS3";
    QTest::newRow("no link: two digits") << ""
                                         << "COM12"
                                         << "/dev/ttyS11";
    QTest::newRow("a path is taken as it stands") << ""
                                                  << "/dev/ttyUSB0"
                                                  << "/dev/ttyUSB0";
    QTest::newRow("COM0 is no port name") << ""
                                          << "COM0"
                                          << "COM0";
}

void TestPortPaths::resolvesPortNames()
{
    QFETCH(QString, link);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path folder = fs::path(dir.path().toStdString()) / "ports";
    fs::create_directories(folder);
    if (!link.isEmpty())
        fs::create_symlink(link.toStdString(), folder / name.toStdString());

    const std::string want = expected.startsWith('@')
        ? (folder / expected.mid(2).toStdString()).lexically_normal().string()
        : expected.toStdString();
    QCOMPARE(resolvePortDevice(name.toStdString(), folder), want);
}

void TestPortPaths::folderFollowsXdgConfigHome_data()
{
    QTest::addColumn<QByteArray>("xdg"); // "-" for unset
    QTest::addColumn<QString>("expected");

    QTest::newRow("XDG_CONFIG_HOME set") << QByteArray("/cfg") << "/cfg/kelvra23/ports";
    QTest::newRow("XDG_CONFIG_HOME unset") << QByteArray("-") << "/home/u/.config/kelvra23/ports";
    QTest::newRow("XDG_CONFIG_HOME empty") << QByteArray("") << "/home/u/.config/kelvra23/ports";
    QTest::newRow("XDG_CONFIG_HOME relative is ignored")
        << QByteArray("cfg") << "/home/u/.config/kelvra23/ports";
}

void TestPortPaths::folderFollowsXdgConfigHome()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);

    const QByteArray home("/home/u");
    ScopedEnv homeEnv("HOME", &home);
    ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg == "-" ? nullptr : &xdg);
    QCOMPARE(QString::fromStdString(portFolder().string()), expected);
}

QTEST_APPLESS_MAIN(TestPortPaths)
#include "tst_portpaths.moc"
