// kelvra-frame: converts .kvr frame files to and from standard images and describes them.

#include "frames/FrameFile.h"
#include "tools/frame/FrameImage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage
    = "Usage: kelvra-frame COMMAND ARGS\n"
      "\n"
      "Commands:\n"
      "  to-pgm IN.kvr OUT.pgm     the frame as the viewer shows it, 128 x 123 grey (PGM)\n"
      "  to-png IN.kvr OUT.png     the same picture as PNG\n"
      "  from-image IN OUT.kvr     a frame that loads as IN (PNG, PGM, JPEG...), scaled to\n"
      "                            128 x 123 grey with values limited to 1..254\n"
      "  info IN.kvr               byte count, min, max and mean of the frame\n"
      "  --help                    this text\n"
      "  --version                 the version\n"
      "\n"
      "Outputs are written whole or not at all. Exit status: 0 done, 1 failed, 2 usage.\n";

// A failure to report as one line on stderr.
struct Failure
{
    std::string message;
};

QString qPath(const std::string &path)
{
    return QFile::decodeName(path.c_str());
}

std::string text(const QString &s)
{
    return s.toLocal8Bit().toStdString();
}

// The display buffer a load makes of the file: decoded bytes, a zero, zeros after.
std::array<std::uint8_t, kFrameBufferSize> loadFrame(const std::string &path, std::size_t *count)
{
    std::array<std::uint8_t, kFrameBufferSize> buffer {};
    const FrameReadResult result = readFrameFile(path, buffer.data());
    if (!result.ok())
        throw Failure {path + ": " + result.reason};
    if (result.truncated)
        throw Failure {path + ": frame longer than " + std::to_string(kMaxFrameRead) + " bytes"};
    *count = result.bytesRead;
    return buffer;
}

// Writes through a temporary file in the target's folder, renamed into place only when
// complete, so a failure never leaves a partial output.
template<typename WriteFn> void writeWhole(const std::string &path, WriteFn write)
{
    QSaveFile file(qPath(path));
    if (!file.open(QIODevice::WriteOnly))
        throw Failure {path + ": " + text(file.errorString())};
    if (!write(file)) {
        const std::string reason = text(file.errorString());
        file.cancelWriting();
        throw Failure {path + ": " + (reason.empty() ? "cannot write" : reason)};
    }
    if (!file.commit())
        throw Failure {path + ": " + text(file.errorString())};
}

void toPicture(const std::string &in, const std::string &out, const char *format)
{
    std::size_t count = 0;
    const auto buffer = loadFrame(in, &count);
    const QImage image = FrameImage::toImage(buffer.data());
    writeWhole(out, [&](QSaveFile &file) {
        QImageWriter writer(&file, format);
        return writer.write(image);
    });
}

void fromImage(const std::string &in, const std::string &out)
{
    const QFileInfo info(qPath(in));
    if (!info.exists())
        throw Failure {in + ": No such file or directory"};
    if (info.isDir())
        throw Failure {in + ": Is a directory"};

    QImageReader reader(qPath(in));
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw Failure {in + ": not a readable image (" + text(reader.errorString()) + ")"};

    const std::string encoded = encodeFrame(FrameImage::toFrame(image));
    writeWhole(out, [&](QSaveFile &file) {
        return file.write(encoded.data(), qint64(encoded.size())) == qint64(encoded.size());
    });
}

void describe(const std::string &in)
{
    std::size_t count = 0;
    const auto buffer = loadFrame(in, &count);
    std::printf("bytes: %zu\n", count);
    if (count == 0) {
        std::printf("min: -\nmax: -\nmean: -\n");
        return;
    }
    const auto first = buffer.begin();
    const auto last = buffer.begin() + std::ptrdiff_t(count);
    const auto [lo, hi] = std::minmax_element(first, last);
    double sum = 0;
    for (auto it = first; it != last; ++it)
        sum += *it;
    std::printf("min: %u\nmax: %u\nmean: %.3f\n", unsigned(*lo), unsigned(*hi),
                sum / double(count));
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "kelvra-frame: %s (try --help)\n", message.c_str());
    return kExitUsage;
}

} // namespace

int main(int argc, char **argv)
{
    // The application object gives the image plugins (JPEG) their search path.
    QCoreApplication app(argc, argv);

    if (argc < 2)
        return usageError("missing command");
    const std::string command = argv[1];
    const int operands = argc - 2;

    if (command == "--help" || command == "-h") {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("kelvra-frame %s\n", KELVRA_VERSION);
        return 0;
    }

    const bool convert = command == "to-pgm" || command == "to-png" || command == "from-image";
    if (!convert && command != "info")
        return usageError("unknown command '" + command + "'");
    const int wanted = convert ? 2 : 1;
    if (operands != wanted)
        return usageError(command + " takes " + std::to_string(wanted) + " file name"
                          + (wanted > 1 ? "s" : ""));

    try {
        if (command == "to-pgm")
            toPicture(argv[2], argv[3], "pgm");
        else if (command == "to-png")
            toPicture(argv[2], argv[3], "png");
        else if (command == "from-image")
            fromImage(argv[2], argv[3]);
        else
            describe(argv[2]);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "kelvra-frame: %s\n", failure.message.c_str());
        return kExitFailure;
    }
    return 0;
}
