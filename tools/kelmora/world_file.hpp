#ifndef KELMORA_WORLD_FILE_HPP
#define KELMORA_WORLD_FILE_HPP

#include "sr_reader.hpp"

// Reads the world file beside an image into the reader's extent: the image's
// name with the text after its last '.' replaced by lower_ext, else upper_ext.
// Needs nrows and ncols. Prints why and returns false when there is none or it
// is short.
bool read_world_file(SRreader* reader, const char* file_name, const char* lower_ext,
                     const char* upper_ext);

#endif
