#ifndef KELMORA_SR_READER_FACTORY_HPP
#define KELMORA_SR_READER_FACTORY_HPP

#include "sr_reader.hpp"

// Creates the reader for the extension (matched exactly: "asc"/"ASC", "bil"/"BIL",
// "vpk"/"VPK", "png"/"PNG", "tif"/"TIF", "img"/"IMG") and opens file_name with
// it. Returns nullptr when an argument is missing, the extension is unknown or
// the open fails (the reader has said why and is deleted). The caller ends the
// reader with close() and delete.
SRreader* open_raster_reader(const char* extension, const char* file_name);

#endif
