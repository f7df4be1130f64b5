#ifndef TESTS_SUPPORT_ARG_VECTOR_HPP
#define TESTS_SUPPORT_ARG_VECTOR_HPP

// A writable argument vector for option parsers, which blank the entries they
// consume by writing 0 into their first character.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

class ArgVector {
 public:
  explicit ArgVector(const std::vector<std::string>& words) {
    storage.push_back(make("prog"));
    for (const std::string& w : words) storage.push_back(make(w));
    for (auto& s : storage) pointers.push_back(s.get());
  }
  int argc() const { return static_cast<int>(pointers.size()); }
  char** argv() { return pointers.data(); }
  // The entries after the program name that are still not blank.
  std::vector<std::string> left() const {
    std::vector<std::string> result;
    for (size_t k = 1; k < pointers.size(); k++) {
      if (pointers[k][0] != '\0') result.push_back(pointers[k]);
    }
    return result;
  }

 private:
  static std::unique_ptr<char[]> make(const std::string& w) {
    std::unique_ptr<char[]> p(new char[w.size() + 1]);
    std::memcpy(p.get(), w.c_str(), w.size() + 1);
    return p;
  }
  std::vector<std::unique_ptr<char[]>> storage;
  std::vector<char*> pointers;
};

#endif  // TESTS_SUPPORT_ARG_VECTOR_HPP
