// Raw access to the two protocol descriptors. The server frames messages by
// read: one read(2) of standard input is one batch of messages, and one
// write(2) of standard output is one reply. Diagnostic text does not come
// through here; it goes through the buffered std::cout.
#pragma once

#include <cstddef>
#include <string_view>

namespace Kelp {

// Size of the message buffer: one read never takes more than this.
inline constexpr std::size_t MESSAGE_BUFFER_SIZE = 1024;

// One blocking read of at most `capacity` bytes from `fd`, retried when a
// signal interrupts it. Returns the count of bytes read, 0 at end of input,
// -1 when the read failed.
long readInput(int fd, char* buffer, std::size_t capacity);

// Writes `bytes` to `fd` as one write(2) (the remainder is written again only
// if the kernel took part of it). Returns false when the descriptor no longer
// takes data (the reader has gone: EPIPE, or any other write error).
bool writeBytes(int fd, std::string_view bytes);

// A reply the server reads: exactly its bytes on standard output, no line end.
// False means the server has closed our output and the session is over.
inline bool writeReply(std::string_view bytes) {
  return writeBytes(1, bytes);
}

// A closed output pipe must end the session quietly, not kill the process
// with SIGPIPE: writes then fail with EPIPE and the caller stops.
void ignoreBrokenPipe();

}  // namespace Kelp
