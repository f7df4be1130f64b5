#ifndef TESTS_TALVENOR_NEW_GROUND_GROUND_TEST_IO_HPP
#define TESTS_TALVENOR_NEW_GROUND_GROUND_TEST_IO_HPP

// The ground driver wired to the in-memory reader and writer.

#include <memory>

#include "ground/ground_driver.hpp"
#include "memory_point_io.hpp"
#include "scene.hpp"

// Wires the driver to the memory reader and writer.
struct MemoryGroundIO {
  MemoryPointWriter::Store store;
  int64_t fail_write_at = -1;
  bool fail_close = false;
  int reopens = 0;
  int removals = 0;
  GroundFileIO io;

  MemoryGroundIO() {
    io.input_name = "memory.las";
    io.reopen = [this](std::unique_ptr<LASreader>& reader) {
      reopens++;
      return reader->seek_point(0);
    };
    io.open_writer = [this](const LASheader& header) {
      store.header.assign(header);
      auto writer = std::make_unique<MemoryPointWriter>(&store, fail_write_at);
      writer->fail_close_ = fail_close;
      return std::unique_ptr<LASwriter>(std::move(writer));
    };
    io.output_name = [] { return "memory_out.las"; };
    io.remove_output = [this] {
      removals++;
      return true;
    };
  }
};

#endif
