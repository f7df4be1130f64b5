#include "layers/layer_coding.hpp"

bool LASlayerCoded::init_read(ByteStreamIn* in) {
  if (!LASlayer::init_read(in) || !coder.start_read(in)) return false;
  start_models();
  return true;
}

bool LASlayerCoded::init_write(ByteStreamOut* out) {
  if (!LASlayer::init_write(out) || !coder.start_write(out_stream)) return false;
  start_models();
  return true;
}

bool LASlayerCoded::finish_read(ByteStreamIn* in) {
  stop_models();
  coder.finish_read();
  return LASlayer::finish_read(in);
}

bool LASlayerCoded::finish_write(ByteStreamOut* out) {
  stop_models();
  if (!coder.finish_write()) {
    std::fprintf(stderr, "ERROR: writing the last bytes of a layer's coder\n");
    return false;
  }
  return LASlayer::finish_write(out);
}
