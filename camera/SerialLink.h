#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

class FrameAssembler;

// The serial link with the camera: 115200 baud, 8 data bits, no parity, 1 stop bit, raw,
// no flow control, DTR and RTS off while open. Every batch of received bytes is fed to the
// frame assembler given at construction, on the UI thread. UI thread only; no threads of its
// own (QSerialPort's notifiers run in the UI thread's event loop).
class SerialLink : public QObject
{
    Q_OBJECT

public:
    // How long close() lets received bytes reach the assembler after the last write left.
    static constexpr int kClosePauseMs = 300;
    // Upper bound on waiting for written bytes to leave on close.
    static constexpr int kDrainTimeoutMs = 1000;
    static constexpr qint64 kReadBufferBytes = 16384; // bytes read from the port per batch

    explicit SerialLink(FrameAssembler &assembler, QObject *parent = nullptr);
    // Releases an open port at once: nothing is sent, nothing more is delivered.
    ~SerialLink() override;

    // "COM1".."COM4" (see PortPaths.h for the mapping); takes effect at the next open.
    void setPortName(const QString &comName);
    QString portName() const { return m_portName; }

    // Opens the device exclusively. On failure throws std::runtime_error and stays closed:
    //   "Specified device not found (<path>)." when the device does not exist,
    //   "Can't open specified device <path> (Error <errno>, <strerror text>)" otherwise,
    //   also when another process holds the device.
    // Opening an open link does nothing.
    void open();

    // Queues one byte for sending; on a closed link does nothing and reports nothing.
    void writeByte(char byte);

    // Sends the bytes written before it (bounded by kDrainTimeoutMs), hands over the bytes
    // that arrive during a pause of kClosePauseMs, then releases the device. Deliveries may run
    // inside close(), but no general event loop does (no user input is processed). On a
    // closed link it returns at once.
    void close();

    bool isOpen() const { return m_open; }
    // The device path of the last open attempt ("/dev/pts/5"), empty before any.
    QString devicePath() const { return m_devicePath; }

signals:
    // The device went away while open (pseudo-terminal peer gone, adapter pulled). The port
    // has already been released when this is emitted; emitted once per loss.
    void deviceLost(const QString &reason);

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void feedAvailable();
    bool lineHungUp() const;
    void release();
    [[noreturn]] void failOpen(int errorNumber);

    FrameAssembler &m_assembler;
    QSerialPort m_port;
    QString m_portName = QStringLiteral("COM1");
    QString m_openPortName; // the name the open port was opened under
    QString m_devicePath;
    int m_lockFd = -1; // holds the advisory lock that keeps other holders out
    bool m_open = false;
    bool m_closing = false;
};
