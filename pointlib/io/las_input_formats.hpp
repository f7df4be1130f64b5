#ifndef POINTLIB_IO_LAS_INPUT_FORMATS_HPP
#define POINTLIB_IO_LAS_INPUT_FORMATS_HPP

// The readers an input name can mean. The opener, its second pass and the
// merged reader all choose them by the name alone, from one table.
enum class LASinputFormat { las, bin, shp, asc, bil, dtm, ply, qfit, txt };

struct LASinputFormatName {
  LASinputFormat format;
  // Searched anywhere in the name (not only at its end), so that "a.las.txt"
  // is read as LAS; a null entry ends the list.
  const char* patterns[5];
  const char* word;   // as in "lasreader<word>" of the opener's messages
  const char* upper;  // as in the merged reader's "cannot mix <upper> with ..."
};

// The reader of a name: the first row, in table order, with a pattern found
// in it; a name that matches none is text.
LASinputFormat las_input_format_of(const char* name);
// The same for a second pass over an input, which tries QFIT before the
// grids and has no PLY reader (such a name is reopened as text).
LASinputFormat las_input_format_to_reopen(const char* name);
const LASinputFormatName& las_input_format_name(LASinputFormat format);

#endif  // POINTLIB_IO_LAS_INPUT_FORMATS_HPP
