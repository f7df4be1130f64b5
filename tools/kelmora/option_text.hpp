#ifndef KELMORA_OPTION_TEXT_HPP
#define KELMORA_OPTION_TEXT_HPP

#include <string>
#include <vector>

// Appends printf-formatted text of any length; returns the characters appended.
size_t append_format(std::string* text, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Splits option text into command-line words: blanks and tabs separate words,
// and a double-quoted run (quotes dropped) belongs to one word, so that
// "-odir \"a b\" " gives the two words -odir and a b.
std::vector<std::string> split_words(const std::string& text);

#endif
