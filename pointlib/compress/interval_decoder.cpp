#include "compress/interval_decoder.hpp"

bool IntervalDecoder::start(ByteStreamIn* stream, bool read_value) {
  if (stream == nullptr) return false;
  this->stream = stream;
  length = 0xFFFFFFFFu;
  if (read_value) read_initial_value();
  return true;
}

void IntervalDecoder::read_initial_value() {
  value = static_cast<uint32_t>(stream->read_byte()) << 24;
  value |= static_cast<uint32_t>(stream->read_byte()) << 16;
  value |= static_cast<uint32_t>(stream->read_byte()) << 8;
  value |= static_cast<uint32_t>(stream->read_byte());
}
