#include "io/formats/side_reader.hpp"

void LASreaderSideStream::close_input(bool close_stream) {
  if (!close_stream) return;
  stream.reset();
  if (file) std::fclose(file);
  file = nullptr;
}

bool LASreaderSideStream::open_stream_file(const char* file_name, const char* verb,
                                           int buffer_size) {
  close_input(true);
  file = side_open_binary(file_name, verb, buffer_size);
  if (file == nullptr) return false;
  stream.reset(new ByteStreamInFileLE(file));
  return true;
}

void LASreaderSideStream::take_stream(ByteStreamIn* given) {
  if (given != stream.get()) {
    close_input(true);
    stream.reset(given);
  }
  requantize = false;
}

bool LASreaderSideStream::seek_record(int64_t index, int64_t first, int64_t size) {
  if (!stream || index < 0 || index >= npoints) return false;
  p_count = index;
  return stream->seek_to(first + index * size);
}

bool LASreaderSideStream::settle_quantization() {
  requested.replace(&header);
  requantize = side_quantization_differs(header, file_quantizer);
  return !requantize || side_bounds_fit(header);
}
