// "sysinfo.nfo", msinfo32's XML report. Its element names and category
// names are translated on non-English Windows, so the summary is found by
// shape: the first element holding two items, an item being an element
// whose children are at least two leaves (item name, value); its items are
// read by position, anchored on the one value that is never translated,
// the operating system's maker. The report is read as a stream of XML
// events: only the open elements' few counters and the summary's values
// are kept, whatever the report holds.
#include <algorithm>
#include <vector>

#include "catalogue.h"
#include "knowledge.h"
#include "readers.h"
#include "text.h"
#include "xml_stream.h"

namespace triage {
namespace {

constexpr size_t kMaxItems = 64;
// A leaf's text is kept up to this many bytes before it is trimmed and cut.
constexpr size_t kMaxLeafText = 1024;
constexpr size_t kMaxValue = 300;

struct Item {
  std::string value;
  uint64_t line = 0;  // the line of the value's element
};

// What is known of one open element.
struct Frame {
  uint64_t line = 0;
  size_t children = 0;  // element children so far
  bool deeper = false;  // a child has children of its own
  std::string text;     // its text, while it has no element child
  Item second;          // its second child, when that is a leaf
  size_t items = 0;     // children that are items
  Item first_item;      // the first of them, until it is known to be the summary
};

bool LooksLikeSystemType(std::string_view value) {
  return ContainsNoCase(value, "64") || ContainsNoCase(value, "86") || ContainsNoCase(value, "arm");
}

class SystemInfoReader : public Reader, private XmlEvents {
 public:
  explicit SystemInfoReader(std::string file) : file_(std::move(file)), xml_(*this) {}

  void Line(uint64_t number, std::string_view text, EvidenceKeeper&) override {
    xml_.FeedLine(text, number);
  }
  // The summary is all that is read: the rest of the report is not.
  bool WantsMore() const override { return !summary_done_ && !xml_.failed(); }

  FileResult End() override {
    FileResult result;
    FileResult& report = result;
    if (!summary_done_) {
      xml_.Finish();
      if (xml_.failed()) {
        Unreadable(xml_.depth() >= XmlStream::kMaxDepth
                       ? Say("sysinfo.unreadable.nested")
                       : Say("sysinfo.unreadable.not-xml", {{"error", xml_.error()}}),
                   report);
      } else {
        Unreadable(Say("sysinfo.unreadable.no-summary"), report);
      }
      return result;
    }
    Summarise(report);
    return result;
  }

 private:
  void StartElement(std::string_view, uint64_t line) override {
    if (!frames_.empty()) {
      Frame& parent = frames_.back();
      ++parent.children;
      parent.text.clear();
    }
    frames_.push_back(Frame{});
    frames_.back().line = line;
  }

  void Text(std::string_view text, uint64_t) override {
    Frame& frame = frames_.back();
    if (frame.children > 0 || frame.text.size() >= kMaxLeafText) return;
    frame.text.append(text.substr(0, kMaxLeafText - frame.text.size()));
  }

  void EndElement(bool) override {
    Frame closed = std::move(frames_.back());
    frames_.pop_back();
    const size_t depth = frames_.size();  // the closed element's own level
    if (summary_depth_ && *summary_depth_ == depth) {
      summary_done_ = true;
      return;
    }
    if (frames_.empty()) return;
    Frame& parent = frames_.back();
    const bool leaf = closed.children == 0;
    if (!leaf) parent.deeper = true;
    if (leaf && parent.children == 2) {
      parent.second = {std::string(CutUtf8(Trim(closed.text), kMaxValue)), closed.line};
    }
    const bool item = !closed.deeper && closed.children >= 2;
    if (!item || summary_done_) return;
    ++parent.items;
    if (summary_depth_) {
      if (*summary_depth_ == depth - 1 && items_.size() < kMaxItems) {
        items_.push_back(std::move(closed.second));
      }
    } else if (parent.items == 1) {
      parent.first_item = std::move(closed.second);
    } else {
      summary_depth_ = depth - 1;
      items_.push_back(std::move(parent.first_item));
      items_.push_back(std::move(closed.second));
    }
  }

  void Summarise(FileResult& report) {
    // Windows XP lists: name, version, OS maker, system name, system maker,
    // model, type. Later versions add "Other OS Description" before the OS
    // maker. The maker ("Microsoft Corporation") is never translated.
    size_t maker = 3;
    for (size_t i = 2; i < std::min<size_t>(items_.size(), 5); ++i) {
      if (ContainsNoCase(items_[i].value, "microsoft")) {
        maker = i;
        break;
      }
    }
    const auto value_at = [&](size_t index) {
      return index < items_.size() ? items_[index].value : std::string();
    };
    SystemSummary system;
    system.os_name = value_at(0);
    system.os_version = value_at(1);
    system.model = value_at(maker + 3);
    system.system_type = value_at(maker + 4);
    if (!LooksLikeSystemType(system.system_type)) {
      system.system_type.clear();
      for (const Item& item : items_) {
        if (StartsWith(item.value, "x64") || StartsWith(item.value, "X86") ||
            StartsWith(item.value, "x86") || StartsWith(item.value, "ARM")) {
          system.system_type = item.value;
          break;
        }
      }
    }
    report.understood = true;
    Finding finding = MakeFinding("sysinfo.summary", file_);
    finding.line = items_[0].line;
    std::string& message = finding.message;
    message =
        Say("sysinfo.summary",
            {{"os", system.os_name.empty() ? Say("sysinfo.unknown-windows") : system.os_name}});
    if (!system.os_version.empty())
      Append(message, Say("sysinfo.summary.version", {{"version", system.os_version}}));
    if (!system.system_type.empty())
      Append(message, Say("sysinfo.summary.type", {{"type", system.system_type}}));
    if (!system.model.empty())
      Append(message, Say("sysinfo.summary.model", {{"model", system.model}}));
    message += ".";
    report.findings.push_back(std::move(finding));
    report.system = std::move(system);
  }

  void Unreadable(const std::string& why, FileResult& report) const {
    Finding finding = MakeFinding("sysinfo.unreadable", file_);
    finding.message = Say("sysinfo.unreadable", {{"why", why}});
    report.findings.push_back(std::move(finding));
  }

  std::string file_;
  XmlStream xml_;
  std::vector<Frame> frames_;
  std::optional<size_t> summary_depth_;  // the level of the summary element, once found
  bool summary_done_ = false;
  std::vector<Item> items_;
};

}  // namespace

std::unique_ptr<Reader> MakeSystemInfoReader(const std::string& file) {
  return std::make_unique<SystemInfoReader>(file);
}

}  // namespace triage
