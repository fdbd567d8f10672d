#include "collection.h"

#include <algorithm>
#include <system_error>

#include "decoder.h"
#include "platform/folder_list.h"
#include "platform/text/affix.h"
#include "platform/text/ascii.h"
#include "platform/text/dates.h"

namespace triage {

namespace fs = std::filesystem;
using velmora::text::EndsWith;
using velmora::text::LowerAscii;

namespace {

bool IsUnsafeName(std::string_view name) {
  if (name.empty() || name[0] == '/' || (name.size() >= 2 && name[1] == ':')) return true;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    if (name.substr(start, slash - start) == "..") return true;
    start = slash + 1;
  }
  return false;
}

// A zip entry's time, as MS-DOS wrote it: the local time of the machine
// that made the archive, to two seconds.
std::optional<int64_t> DosTime(uint16_t date, uint16_t time) {
  if (date == 0) return std::nullopt;
  return velmora::text::CivilSeconds(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                                     time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
}

class FolderCollection : public Collection {
 public:
  FolderCollection(fs::path root, std::vector<fs::path> paths,
                   std::vector<std::pair<std::string, std::size_t>> names,
                   const std::vector<std::optional<int64_t>>& times)
      : root_(std::move(root)), paths_(std::move(paths)) {
    SetFiles(std::move(names), times);
  }
  std::unique_ptr<ByteStream> Open(const CollectedFile& file, std::string& problem) override {
    // The name was a regular file when listed; what is opened now is checked
    // again, as another program may have put a link or a FIFO in its place.
    return OpenFileStream(paths_[file.index], velmora::files::Links::Refuse, problem);
  }
  void AddProblem(InputProblem problem) { problems_.push_back(std::move(problem)); }

 private:
  fs::path root_;
  std::vector<fs::path> paths_;
};

class ZipCollection : public Collection {
 public:
  ZipCollection(std::unique_ptr<RandomAccessInput> input, const ZipLimits& limits)
      : input_(std::move(input)), archive_(*input_, limits) {}
  bool Load(std::string& error) {
    if (!archive_.Open(error)) return false;
    std::vector<std::pair<std::string, std::size_t>> names;
    std::vector<std::optional<int64_t>> times;
    const auto& entries = archive_.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!entries[i].is_folder()) names.emplace_back(entries[i].name, i);
      times.push_back(DosTime(entries[i].dos_date, entries[i].dos_time));
    }
    SetFiles(std::move(names), times);
    problems_.insert(problems_.end(), archive_.problems().begin(), archive_.problems().end());
    return true;
  }
  std::unique_ptr<ByteStream> Open(const CollectedFile& file, std::string&) override {
    return archive_.OpenEntry(archive_.entries()[file.index]);
  }

 private:
  std::unique_ptr<RandomAccessInput> input_;
  ZipArchive archive_;
};

class SingleFileCollection : public Collection {
 public:
  SingleFileCollection(fs::path path, std::string name) : path_(std::move(path)) {
    single_file_ = true;
    files_.push_back({std::move(name), 0, velmora::files::ModifiedTime(path_)});
  }
  // The engineer named this file: a link given as PATH is followed.
  std::unique_ptr<ByteStream> Open(const CollectedFile&, std::string& problem) override {
    return OpenFileStream(path_, velmora::files::Links::Follow, problem);
  }

 private:
  fs::path path_;
};

}  // namespace

void Collection::SetFiles(std::vector<std::pair<std::string, std::size_t>> names,
                          const std::vector<std::optional<int64_t>>& times) {
  for (auto& entry : names) std::replace(entry.first.begin(), entry.first.end(), '\\', '/');
  // One top folder holding everything, as when a folder is zipped whole.
  std::string top;
  bool one_top = !names.empty();
  for (const auto& entry : names) {
    std::size_t slash = entry.first.find('/');
    std::string first = slash == std::string::npos ? std::string() : entry.first.substr(0, slash);
    if (first.empty() || first == ".." || (!top.empty() && first != top)) {
      one_top = false;
      break;
    }
    top = first;
  }
  std::size_t unsafe = 0, deeper = 0;
  std::string first_unsafe, first_deeper;
  for (auto& entry : names) {
    std::string name = one_top ? entry.first.substr(top.size() + 1) : entry.first;
    if (IsUnsafeName(entry.first)) {
      // Such a name is only ever shown: the file is read from the archive
      // like any other and nothing is written anywhere.
      if (unsafe++ == 0) first_unsafe = entry.first;
      files_.push_back({entry.first, entry.second, {}});
    } else if (name.find('/') != std::string::npos) {
      if (deeper++ == 0) first_deeper = name;
    } else {
      files_.push_back({name, entry.second, {}});
    }
  }
  for (CollectedFile& file : files_) {
    if (file.index < times.size()) file.modified = times[file.index];
  }
  std::sort(files_.begin(), files_.end(),
            [](const CollectedFile& a, const CollectedFile& b) { return a.name < b.name; });
  if (unsafe > 0) problems_.push_back({InputProblemKind::UnsafeNames, unsafe, {first_unsafe}});
  // An archive inside the collection is not opened: only the collector's
  // own files are read, and an archive in an archive is the classic bomb.
  std::size_t archives = 0;
  std::string first_archive;
  for (const CollectedFile& file : files_) {
    const std::string lower = LowerAscii(file.name);
    for (const char* extension : {".zip", ".7z", ".rar", ".cab", ".tar", ".gz", ".tgz", ".xz"}) {
      if (EndsWith(lower, extension)) {
        if (archives++ == 0) first_archive = file.name;
        break;
      }
    }
  }
  if (archives > 0) {
    problems_.push_back({InputProblemKind::NestedArchives, archives, {first_archive}});
  }
  if (deeper > 0) problems_.push_back({InputProblemKind::SubfolderFiles, deeper, {first_deeper}});
}

namespace {

std::unique_ptr<Collection> OpenFolder(const fs::path& path, std::string& error) {
  fs::path root = path;
  // A folder whose only content is one folder (the collected folder copied
  // inside another) is read from that inner folder; a link is no folder.
  for (int depth = 0;; ++depth) {
    std::vector<velmora::files::FolderEntry> entries;
    std::string why;
    if (!velmora::files::ListFolder(root, entries, why)) {
      error = "the folder cannot be read (" + why + ")";
      return nullptr;
    }
    std::vector<fs::path> paths;
    std::vector<std::pair<std::string, std::size_t>> names;
    std::vector<std::optional<int64_t>> times;
    std::vector<std::string> links;
    std::size_t folders = 0;
    fs::path only_folder;
    std::vector<std::string> subfolders;
    for (auto& entry : entries) {
      switch (entry.type) {
        case velmora::files::EntryType::Folder:
          ++folders;
          only_folder = entry.path;
          subfolders.push_back(std::move(entry.name));
          break;
        case velmora::files::EntryType::File:
          names.emplace_back(std::move(entry.name), paths.size());
          times.push_back(entry.modified);
          paths.push_back(std::move(entry.path));
          break;
        case velmora::files::EntryType::Link:
          links.push_back(std::move(entry.name));
          break;
        case velmora::files::EntryType::Other:
          break;  // a FIFO, socket or device is never opened
      }
    }
    if (depth == 0 && names.empty() && links.empty() && folders == 1) {
      root = only_folder;
      continue;
    }
    std::sort(links.begin(), links.end());
    auto collection =
        std::make_unique<FolderCollection>(root, std::move(paths), std::move(names), times);
    // A link is never followed, whatever it points to.
    if (!links.empty()) {
      const std::size_t count = links.size();
      collection->AddProblem({InputProblemKind::Links, count, std::move(links)});
    }
    if (!subfolders.empty()) {
      // Subfolders are not read, as in a zip: named, so a log left in one
      // (beside a "__MACOSX" folder, say) is not read in silence.
      std::sort(subfolders.begin(), subfolders.end());
      const std::size_t count = subfolders.size();
      collection->AddProblem({InputProblemKind::Subfolders, count, {subfolders.front()}});
    }
    return collection;
  }
}

}  // namespace

std::unique_ptr<Collection> OpenCollection(const fs::path& path, std::string& error,
                                           const ZipLimits& limits, velmora::files::Links links) {
  // PATH itself is what the engineer named: a link there is followed. A
  // queue's ticket is not: it may have been swapped for one meanwhile.
  std::error_code ec;
  const bool follow = links == velmora::files::Links::Follow;
  auto status = follow ? fs::status(path, ec) : fs::symlink_status(path, ec);
  if (!ec && !follow && fs::is_symlink(status)) {
    error = "it is a link, and links are never followed";
    return nullptr;
  }
  if (ec || !fs::exists(status)) {
    error = "no such file or folder";
    return nullptr;
  }
  if (fs::is_directory(status)) return OpenFolder(path, error);
  if (!fs::is_regular_file(status)) {
    error = "neither a folder nor a regular file";
    return nullptr;
  }
  std::string problem;
  std::unique_ptr<FileInput> input = FileInput::Open(path, links, problem);
  if (!input) {
    error = "the file cannot be read: " + problem;
    return nullptr;
  }
  std::string name = path.filename().u8string();
  if (LooksLikeZip(*input) || EndsWith(LowerAscii(name), ".zip")) {
    auto zip = std::make_unique<ZipCollection>(std::move(input), limits);
    std::string why;
    if (!zip->Load(why)) {
      error = "not a readable zip archive: " + why;
      return nullptr;
    }
    return zip;
  }
  return std::make_unique<SingleFileCollection>(path, name);
}

}  // namespace triage
