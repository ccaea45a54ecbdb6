#include "tests/reliability/LiveWindow.h"

#include <QTest>

#include <memory>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum class DiskFault { ReadOnlyFolder, FullDisk, FolderDeleted };

// Root passes permission checks through CAP_DAC_OVERRIDE. Dropping it from the calling
// thread's effective set (it stays permitted, so it comes back afterwards) makes a read-only
// folder refuse root as it refuses everyone else. The window writes its files on this thread.
class WithoutDacOverride
{
public:
    WithoutDacOverride()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        m_active = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutDacOverride()
    {
        if (m_active)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutDacOverride(const WithoutDacOverride &) = delete;
    WithoutDacOverride &operator=(const WithoutDacOverride &) = delete;

    bool isActive() const { return m_active; }

private:
    __user_cap_header_struct m_header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] {};
    bool m_active = false;
};

QString liveName(int k)
{
    return QStringLiteral("live_%1.kvr").arg(k);
}

} // namespace

// The disk fails under a running recording: the folder turns read-only, the disk is full, or
// the folder is deleted. Frames keep showing, the files already written stay as they were,
// and the user hears about it once, with recording turned off.
class TestDiskFaults : public QObject
{
    Q_OBJECT

    LiveWindow live;

    void sendFrames(int first, int last)
    {
        for (int k = first; k <= last; ++k)
            QVERIFY(live.camera->send(LiveWindow::cameraFrame(k) + LiveWindow::kTerminator));
        QTRY_COMPARE(live.window->frameText, LiveWindow::cameraFrame(last).toStdString());
    }

    void verifyRecorded(const QString &folder, int count)
    {
        for (int k = 0; k < count; ++k)
            QVERIFY2(LiveWindow::fileBytes(QDir(folder).filePath(liveName(k)))
                         == LiveWindow::recorded(LiveWindow::cameraFrame(k)),
                     qPrintable(liveName(k)));
    }

private slots:
    void initTestCase() { live.enter(); }
    void cleanupTestCase() { live.leave(); }
    void init() { live.open(); }
    void cleanup()
    {
        QFile::setPermissions(live.workPath("recording"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ExeOwner);
        live.close();
    }

    void recordingMeetsADiskFault_data()
    {
        QTest::addColumn<DiskFault>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder turns read-only") << DiskFault::ReadOnlyFolder << "Permission denied";
        QTest::newRow("disk full") << DiskFault::FullDisk << "No space left on device";
        QTest::newRow("folder deleted") << DiskFault::FolderDeleted << "No such file or directory";
    }

    void recordingMeetsADiskFault()
    {
        QFETCH(DiskFault, fault);
        QFETCH(QString, reason);
        constexpr int kBefore = 3; // frames recorded before the fault

        // Recording goes to a folder of its own, which the deletion can take away.
        const QString folder = live.workPath("recording");
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QDir::setCurrent(folder));
        if (fault == DiskFault::FullDisk)
            QVERIFY(QFile::link("/dev/full", QDir(folder).filePath(liveName(kBefore))));

        live.recordBox()->setChecked(true);
        live.startCamera();
        sendFrames(0, kBefore - 1);
        QCOMPARE(live.state.liveFrameCount, kBefore);

        QString kept = folder; // where the frames recorded so far are afterwards
        std::unique_ptr<WithoutDacOverride> asUser;
        if (fault == DiskFault::ReadOnlyFolder) {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (::geteuid() == 0) {
                asUser = std::make_unique<WithoutDacOverride>();
                if (!asUser->isActive())
                    QSKIP("running as root and cannot drop CAP_DAC_OVERRIDE: a read-only "
                          "folder would not stop the writes");
            }
        } else if (fault == DiskFault::FolderDeleted) {
            // The user moves the recordings away and deletes the folder under the viewer.
            kept = live.workPath("kept");
            QVERIFY(QDir().mkdir(kept));
            for (int k = 0; k < kBefore; ++k)
                QVERIFY(QFile::rename(QDir(folder).filePath(liveName(k)),
                                      QDir(kept).filePath(liveName(k))));
            QVERIFY(QDir().rmdir(folder));
        }

        sendFrames(kBefore, kBefore + 2); // frames keep showing
        QTRY_COMPARE(live.prompts.errors.size(), 1);
        // The file is named where it was to go: its full path, or, once the folder is gone,
        // the name as the viewer gave it; never a path that points elsewhere.
        const QString target = QDir(folder).filePath(liveName(kBefore));
        const bool namesTarget = live.prompts.errors[0].contains(" " + target + ":")
            || (fault == DiskFault::FolderDeleted
                && live.prompts.errors[0].contains(" ./" + liveName(kBefore) + ":"));
        QVERIFY2(namesTarget && live.prompts.errors[0].contains(reason)
                     && live.prompts.errors[0].contains("Capture Live Stream"),
                 qPrintable(live.prompts.errors[0]));
        QVERIFY(!live.recordBox()->isChecked());
        QCOMPARE(live.state.liveFrameCount, kBefore);

        sendFrames(kBefore + 3, kBefore + 5); // still showing, nothing more to report
        QVERIFY(live.window->imagePresent);
        QCOMPARE(live.prompts.errors.size(), 1);
        QVERIFY(live.state.portOpen);
        asUser.reset();

        verifyRecorded(kept, kBefore);
        if (fault != DiskFault::FolderDeleted)
            QVERIFY(!QFile::exists(QDir(folder).filePath(liveName(kBefore + 1))));
    }

    void frozenSaveOnAFullDiskLeavesRecordingAlone()
    {
        QVERIFY(QFile::link("/dev/full", live.workPath("frozen_0.kvr")));
        live.recordBox()->setChecked(true);
        live.startCamera();
        sendFrames(0, 1);

        live.click("btnCapt");
        QCOMPARE(live.prompts.errors.size(), 1);
        QVERIFY2(live.prompts.errors[0].contains("frozen_0.kvr")
                     && live.prompts.errors[0].contains("No space left on device"),
                 qPrintable(live.prompts.errors[0]));
        QVERIFY(live.prompts.notices.isEmpty());

        sendFrames(2, 3);
        QVERIFY(live.recordBox()->isChecked());
        QTRY_COMPARE(live.state.liveFrameCount, 4);
        verifyRecorded(live.work->path(), 4);

        live.click("btnCapt"); // the next save goes to a good file
        QCOMPARE(LiveWindow::fileBytes(live.workPath("frozen_1.kvr")),
                 LiveWindow::recorded(LiveWindow::cameraFrame(3)));
        QCOMPARE(live.prompts.notices, QStringList({"Image saved successfully!"}));
        QCOMPARE(live.prompts.errors.size(), 1);
    }
};

QTEST_MAIN(TestDiskFaults)
#include "tst_diskfaults.moc"
