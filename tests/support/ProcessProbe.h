#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

#include <filesystem>
#include <system_error>

#include <malloc.h>

// What the test process holds right now, read from /proc/self: open descriptors and resident
// memory. For leak checks around a stretch of work.
namespace ProcessProbe {

// True in a build with AddressSanitizer: its quarantine and shadow memory make resident size
// say nothing about the program's own memory.
constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// The open descriptors, each as "fd -> target", for a readable failure message.
inline QStringList openDescriptors()
{
    QStringList list;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(fds.filePath(fd).toStdString(), error);
        list << fd + QStringLiteral(" -> ") + QString::fromStdString(target.string());
    }
    return list;
}

inline int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// A "Key:  value kB" field of /proc/self/status in KiB, or -1 when it cannot be read.
inline qint64 statusKiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// All resident memory (VmRSS), shared library pages included.
inline qint64 residentKiB()
{
    return statusKiB("VmRSS");
}

// Resident anonymous memory (RssAnon): heap, stacks and generated code, the memory a leak
// grows. Unlike VmRSS it does not move when a library's code is first paged in. The allocator
// first hands back the free memory it keeps: a transient peak (Qt copies the whole window
// image when it composes the GL view with the other widgets) then does not count as growth.
inline qint64 residentAnonKiB()
{
    ::malloc_trim(0);
    return statusKiB("RssAnon");
}

} // namespace ProcessProbe
