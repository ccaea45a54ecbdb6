#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Frame files (.kvr): one frame per file, no header, the frame's bytes in order with every
// 0x0A stored as the pair 0x0D 0x0A. Reading undoes exactly that, so every file the writer
// makes reads back byte for byte.

constexpr std::size_t kFrameBufferSize = 16384; // bytes in a frame buffer
constexpr std::size_t kMaxFrameRead = 16383; // decoded bytes a read may deliver (a zero follows)

// The outcome of writeFrameFile. error is an errno value (0 when none) and reason its text.
struct FrameWriteResult
{
    std::size_t bytesWritten = 0; // bytes stored in the file, line-end pairs counted as two
    int error = 0;
    std::string reason;

    // True when at least one byte was stored and nothing failed. False with error 0 means
    // there was nothing to write (a null or empty frame); the file then exists and is empty.
    bool saved() const { return bytesWritten > 0 && error == 0; }
};

// The outcome of readFrameFile. error is an errno value (0 when none) and reason its text.
struct FrameReadResult
{
    std::size_t bytesRead = 0; // decoded bytes put into the buffer, 0 to kMaxFrameRead
    bool truncated = false; // the file holds more than kMaxFrameRead decoded bytes
    int error = 0;
    std::string reason;

    bool ok() const { return error == 0; }
};

// Creates or truncates the file at path and stores the frame: the bytes up to, not including,
// the first 0x00, each 0x0A as 0x0D 0x0A. A null pointer stores nothing and leaves an empty
// file. Opening never blocks (a FIFO without a reader fails with ENXIO); a failed write or
// close (ENOSPC, EIO) is reported, possibly after part of the file was stored.
FrameWriteResult writeFrameFile(const std::string &path, const std::uint8_t *zeroTerminatedBytes);

// Reads the frame file at path into buffer (kFrameBufferSize bytes): at most kMaxFrameRead
// decoded bytes from index 0, then a zero byte; every later byte of the buffer is set to 0 as
// well. 0x0D 0x0A becomes 0x0A; any other byte, a lone 0x0D included, is kept. Reads at most
// what can decode to kMaxFrameRead bytes plus a look-ahead, never the whole of a large file or
// device. Directories, FIFOs and sockets are refused with an error; a read that would block
// ends the frame. On an error the buffer holds an empty frame (all zeros).
FrameReadResult readFrameFile(const std::string &path, std::uint8_t *buffer);

// The bytes writeFrameFile stores for frame: its bytes up to the first 0x00, 0x0A doubled
// to 0x0D 0x0A.
std::string encodeFrame(std::string_view frame);

// Decodes file bytes into buffer (kFrameBufferSize bytes) as readFrameFile does and returns
// the decoded count (at most kMaxFrameRead). When consumed is given it receives the number of
// onDisk bytes used; fewer than onDisk.size() means the frame was cut at kMaxFrameRead.
std::size_t decodeFrame(std::string_view onDisk, std::uint8_t *buffer,
                        std::size_t *consumed = nullptr);

// "./live_<n>.kvr" and "./frozen_<n>.kvr", n in decimal without leading zeros.
std::string liveFileName(std::int32_t n);
std::string frozenFileName(std::int32_t n);
