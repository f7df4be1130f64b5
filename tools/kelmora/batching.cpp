#include "batching.hpp"

#include <cstdio>
#include <cstring>

#include "option_text.hpp"
#include "platform/child_process.hpp"
#include "platform/process.hpp"

namespace {

constexpr int kMaxCores = 128;

void append_words(std::vector<std::string>* out, const std::string& text) {
  for (std::string& w : split_words(text)) out->push_back(std::move(w));
}

const char* program_name_of(const std::string& path) {
  const char* slash = strrchr(path.c_str(), '/');
  return slash ? slash + 1 : path.c_str();
}

}  // namespace

std::string batch_list_file_name(const std::string& temp_dir, int32_t process_id) {
  std::string name;
  if (!temp_dir.empty()) {
    append_format(&name, "%s/file_list_buffered.%d.txt", temp_dir.c_str(), process_id);
  } else {
    append_format(&name, "file_list_buffered.%d.txt", process_id);
  }
  return name;
}

bool find_executable(std::string* path) {
  if (!own_executable_path(path)) {
    fprintf(stderr, "ERROR: cannot find '%s'\n", "/proc/self/exe");
    return false;
  }
  return true;
}

bool build_child_jobs(int argc, char** argv, const BatchInputs& inputs, int mode,
                      int32_t process_id, BatchJobs* jobs) {
  *jobs = BatchJobs();
  if (inputs.merged) mode = kBatchOneListJob;
  // Two inputs are one pair and are compared with each other, as without batching; a job of its
  // own for each would compare it with its VPK twin instead.
  const bool one_pair = mode != kBatchOneListJob && inputs.names.size() == 2;
  const size_t njobs = mode == kBatchOneListJob || one_pair ? 1 : inputs.names.size();
  if (!find_executable(&jobs->executable)) return false;
  if (inputs.buffered || mode == kBatchOneListJob) {
    jobs->list_file = batch_list_file_name(inputs.temp_dir, process_id);
    FILE* list = fopen(jobs->list_file.c_str(), "w");
    if (list == nullptr) {
      fprintf(stderr, "ERROR: cannot open '%s'\n", jobs->list_file.c_str());
      jobs->list_file.clear();
      return false;
    }
    bool ok = true;
    for (const std::string& name : inputs.names) {
      ok = ok && fprintf(list, "%s\n", name.c_str()) > 0;
    }
    if (fclose(list) != 0 || !ok) {
      fprintf(stderr, "ERROR: cannot write '%s'\n", jobs->list_file.c_str());
      remove(jobs->list_file.c_str());
      jobs->list_file.clear();
      return false;
    }
  }
  for (size_t i = 0; i < njobs; i++) {
    std::vector<std::string> words;
    if (mode == kBatchOneListJob) {
      words.push_back("-lof");
      words.push_back(jobs->list_file);
    } else {
      words.push_back("-i");
      words.push_back(inputs.names[i]);
      if (one_pair) {
        words.push_back("-i");
        words.push_back(inputs.names[1]);
      }
    }
    append_words(&words, inputs.read_options);
    if (inputs.files_are_flightlines != 0) {
      words.push_back("-faf_index");
      words.push_back(std::to_string(i));
    }
    if (inputs.buffered) {
      std::string size;
      append_format(&size, "%g", static_cast<double>(inputs.buffer_size));
      words.push_back("-buffered");
      words.push_back(size);
      words.push_back("-neighbors_lof");
      words.push_back(jobs->list_file);
    }
    append_words(&words, inputs.filter_options);
    append_words(&words, inputs.transform_options);
    for (int a = 1; a < argc; a++) {
      if (argv[a][0] != '\0') words.push_back(argv[a]);
    }
    jobs->arguments.push_back(std::move(words));
  }
  return true;
}

int run_children(const BatchJobs& jobs, int cores) {
  if (cores < 1 || cores > kMaxCores) {
    fprintf(stderr, "ERROR: cannot run on %d cores. use 1 to %d\n", cores, kMaxCores);
    return 1;
  }
  const std::string program = program_name_of(jobs.executable);
  std::vector<int64_t> pool;
  int result = 0;
  size_t next = 0;
  bool starting = true;
  while (starting || !pool.empty()) {
    while (starting && next < jobs.arguments.size() && pool.size() < static_cast<size_t>(cores)) {
      int error = 0;
      int64_t pid = child_process_start(jobs.executable, program, jobs.arguments[next], &error);
      if (pid < 0) {
        fprintf(stderr, "ERROR: cannot start '%s': %s\n", jobs.executable.c_str(), strerror(error));
        result = 1;
        starting = false;
        break;
      }
      pool.push_back(pid);
      next++;
    }
    if (next == jobs.arguments.size()) starting = false;
    if (pool.empty()) break;
    int code = 0;
    int64_t ended = child_process_wait_any(pool, &code);
    if (ended < 0) {
      // Nothing left to wait for although the pool is not empty: the system
      // reaped them elsewhere. Their outcome is unknown.
      fprintf(stderr, "ERROR: lost track of %u child processes\n",
              static_cast<unsigned>(pool.size()));
      return 1;
    }
    if (code != 0) result = 1;
    for (size_t s = 0; s < pool.size(); s++) {
      if (pool[s] == ended) {
        pool[s] = pool.back();
        pool.pop_back();
        break;
      }
    }
  }
  return result;
}

int run_on_cores(int argc, char** argv, const BatchInputs& inputs, SRwriteSettings* settings,
                 int cores, int mode) {
  if (inputs.names.size() > 1 && !inputs.merged) settings->set_file_name(nullptr);
  BatchJobs jobs;
  if (!build_child_jobs(argc, argv, inputs, mode, current_process_id(), &jobs)) return 1;
  int result = run_children(jobs, cores);
  // Every child has ended here, so none of them still reads the list.
  if (!jobs.list_file.empty()) remove(jobs.list_file.c_str());
  return result;
}
