// What PATH names, as a list of files to read: a collected folder, a zip of
// one, or a single log. Either holds the files at its root or inside one
// top folder. Only names are listed up front; bytes are read on demand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_stream.h"
#include "input_problem.h"
#include "platform/file_view.h"
#include "zip_archive.h"

namespace triage {

struct CollectedFile {
  std::string name;       // within the folder ('/' between parts), UTF-8; for display only
  std::size_t index = 0;  // the collection's own handle
  // When it was last written, in seconds since 1970 of local time: the zip
  // entry's own time, or the file's as this machine tells it.
  std::optional<int64_t> modified;
};

class Collection {
 public:
  virtual ~Collection() = default;
  // Sorted by name.
  const std::vector<CollectedFile>& files() const { return files_; }
  // What was seen of the input itself (unsafe names, files in subfolders).
  const std::vector<InputProblem>& problems() const { return problems_; }
  // A single log rather than a collected folder.
  bool single_file() const { return single_file_; }
  // Null, with `problem` set, when the file cannot be read.
  virtual std::unique_ptr<ByteStream> Open(const CollectedFile& file, std::string& problem) = 0;

 protected:
  // Takes relative names, drops one common top folder and sorts. `times`,
  // by handle, are the files' times where known.
  void SetFiles(std::vector<std::pair<std::string, std::size_t>> names,
                const std::vector<std::optional<int64_t>>& times = {});

  std::vector<CollectedFile> files_;
  std::vector<InputProblem> problems_;
  bool single_file_ = false;
};

// Null, with `error` (one line) set, when PATH cannot be read at all.
// With Links::Refuse, PATH itself may not be a link either.
std::unique_ptr<Collection> OpenCollection(
    const std::filesystem::path& path, std::string& error, const ZipLimits& limits = {},
    velmora::files::Links links = velmora::files::Links::Follow);

}  // namespace triage
