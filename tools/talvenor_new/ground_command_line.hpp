#ifndef TALVENOR_NEW_GROUND_COMMAND_LINE_HPP
#define TALVENOR_NEW_GROUND_COMMAND_LINE_HPP

// The ground tool's own command line: the options that fill GroundSettings, the edit-layer
// switches, the usage and version texts and the one way out of the program. The input and
// output option holders take their own options first; what they leave is read here.

#include <cstdint>
#include <cstdio>
#include <string>

#include "ground/ground_settings.hpp"

class LASinputOptions;

struct GroundCommandLine {
  GroundSettings settings;
  bool wait = false;  // wait for ENTER before the final exit
  bool ilay = false;
  bool has_ilay_directory = false;
  std::string ilay_directory;
  bool olay = false;
  bool has_olay_directory = false;
  std::string olay_directory;
  // The whole command line as one text, the description of the layers that -olay writes. Built
  // only when some argument begins with "-olay"; as long as the arguments need, because a shell
  // expands "-i *.las" into any number of names.
  bool has_command_text = false;
  std::string command_text;
};

// What a step of the command line decided: go on, or end the run now with a code.
struct GroundExit {
  bool now = false;
  uint8_t code = 0;
  bool wait = false;
  bool usage = false;  // print the usage text before ending
};

// Before any parser: an argument starting with the byte 0x96 (an en dash in the Windows-1252
// code page) starts with '-' instead, and the command line text is built when some argument
// begins with "-olay" (argv[0] included, before any parser blanks an entry).
void ground_prepare_arguments(int argc, char** argv, GroundCommandLine* line);

// The tool's own options, over what the other parsers left (blank entries are skipped). Prints
// the messages; an unknown or incomplete argument ends the run with code 1.
GroundExit ground_take_arguments(int argc, char** argv, GroundCommandLine* line);

// After the options: the edit-layer warning and the combinations that edit layers refuse.
GroundExit ground_check_layers(const GroundCommandLine& line, const LASinputOptions& input);

// One line from a console or pipe without its line end ("\n" or "\r\n"); every other character
// stays. False when nothing at all could be read.
bool read_console_line(std::FILE* in, std::string* line);

void print_ground_version();
void print_ground_usage();
// The tool's own options, for "-h" (the library prints the shared ones).
void print_ground_options();

// The one way out of the program. With `wait`, prints "<press ENTER>" and reads one character.
[[noreturn]] void exit_tool(uint8_t code, bool wait);
// Prints the usage text, then exit_tool.
[[noreturn]] void usage(uint8_t code, bool wait);

#endif
