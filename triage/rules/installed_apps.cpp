// "installedapps.txt", WMIC's table of installed products: a header whose
// column names start the columns, then one row per product padded to the
// same offsets. Offsets count characters, not bytes.
#include <algorithm>

#include "catalogue.h"
#include "knowledge.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

constexpr size_t kMaxColumns = 16;
constexpr size_t kMaxProducts = 64;

// Byte offset of the `chars`-th character of UTF-8 `text` (its size when
// the text is shorter).
size_t ByteOffset(std::string_view text, size_t chars) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (velmora::text::IsUtf8Continuation(text[i])) continue;
    if (seen == chars) return i;
    ++seen;
  }
  return text.size();
}

class InstalledAppsReader : public Reader {
 public:
  explicit InstalledAppsReader(std::string file) : file_(std::move(file)) {}

  void Line(uint64_t number, std::string_view text, EvidenceKeeper&) override {
    if (Trim(text).empty()) return;
    if (starts_.empty() && !not_a_table_) {
      Header(text);
      if (name_column_ == kNone) {
        // WMIC names its columns by property, in English on every Windows:
        // without "Name" this is a message such as "No Instance(s)
        // Available.", not a table.
        not_a_table_ = true;
        first_line_ = EvidenceLine{number, std::string(CutUtf8(Trim(text), 200))};
        starts_.clear();
      }
      return;
    }
    if (not_a_table_) return;
    ++rows_;
    const std::string_view name = Cell(text, name_column_);
    if (!ContainsNoCase(name, "velmora") || products_.size() >= kMaxProducts) return;
    products_.push_back({number, std::string(CutUtf8(name, 200)),
                         std::string(CutUtf8(Cell(text, version_column_), 100)),
                         std::string(CutUtf8(text))});
  }

  FileResult End() override {
    FileResult result;
    std::vector<Finding>& findings = result.findings;
    const auto note = [&](const char* rule, uint64_t line, std::vector<EvidenceLine> context) {
      Finding finding = MakeFinding(rule, file_);
      finding.line = line;
      finding.context = std::move(context);
      return finding;
    };
    if (not_a_table_) {
      Finding finding = note("apps.unreadable", first_line_.number, {first_line_});
      finding.message = Say("apps.unreadable", {{"quote", first_line_.text}});
      findings.push_back(std::move(finding));
      return result;
    }
    if (starts_.empty()) {
      Finding finding = note("apps.empty", 0, {});
      finding.message = Say("apps.empty");
      findings.push_back(std::move(finding));
      return result;
    }
    result.understood = true;
    result.installed.emplace();
    if (products_.empty()) {
      Finding finding = note("apps.no-velmora", 0, {});
      finding.message = SayCounted("apps.no-velmora", static_cast<int64_t>(rows_));
      findings.push_back(std::move(finding));
    }
    for (const Listed& product : products_) {
      result.installed->push_back({product.name, product.version});
      Finding finding = note("apps.velmora-product", product.line, {{product.line, product.row}});
      finding.message =
          Say(product.version.empty() ? "apps.velmora-product.no-version" : "apps.velmora-product",
              {{"product", product.name}, {"version", product.version}});
      findings.push_back(std::move(finding));
    }
    // Two versions of the driver package at once: an upgrade left the old
    // one behind, and both claim the same driver.
    const Listed* first = nullptr;
    for (const Listed& product : products_) {
      if (!EqualsNoCase(product.name, "Velmora Drivers")) continue;
      if (first == nullptr) {
        first = &product;
        continue;
      }
      if (product.version == first->version) continue;
      Finding finding = note("apps.duplicate-drivers", product.line,
                             {{first->line, first->row}, {product.line, product.row}});
      finding.message =
          Say("apps.duplicate-drivers", {{"first", first->version}, {"second", product.version}});
      findings.push_back(std::move(finding));
      break;
    }
    return result;
  }

 private:
  struct Listed {
    uint64_t line;
    std::string name;
    std::string version;
    std::string row;
  };

  void Header(std::string_view text) {
    // A column starts where a name starts after blanks.
    size_t chars = 0;
    bool in_name = false;
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (velmora::text::IsUtf8Continuation(text[i])) continue;
      const bool blank = c == ' ' || c == '\t' || c == '\r';
      if (!blank && !in_name && starts_.size() < kMaxColumns) {
        starts_.push_back(chars);
        const size_t end = text.find(' ', i);
        const std::string_view name = text.substr(i, end == std::string_view::npos ? end : end - i);
        if (EqualsNoCase(name, "Name")) name_column_ = starts_.size() - 1;
        if (EqualsNoCase(name, "Version")) version_column_ = starts_.size() - 1;
      }
      in_name = !blank;
      ++chars;
    }
    // WMIC orders the columns by name: Name, then Version.
    if (name_column_ != kNone && version_column_ == kNone && starts_.size() > 1) {
      version_column_ = name_column_ == 0 ? 1 : 0;
    }
  }

  // The trimmed value of column `column` of a row.
  std::string_view Cell(std::string_view row, size_t column) const {
    if (column >= starts_.size()) return {};
    const size_t begin = ByteOffset(row, starts_[column]);
    // The last column runs to the end of the row (WMIC pads it, but a value
    // longer than the header's width must not be cut).
    const size_t end =
        column + 1 < starts_.size() ? ByteOffset(row, starts_[column + 1]) : row.size();
    if (begin >= row.size()) return {};
    return Trim(row.substr(begin, std::max(begin, end) - begin));
  }

  static constexpr size_t kNone = static_cast<size_t>(-1);

  std::string file_;
  std::vector<size_t> starts_;
  size_t name_column_ = kNone;
  size_t version_column_ = kNone;
  size_t rows_ = 0;
  bool not_a_table_ = false;
  EvidenceLine first_line_;
  std::vector<Listed> products_;
};

}  // namespace

std::unique_ptr<Reader> MakeInstalledAppsReader(const std::string& file) {
  return std::make_unique<InstalledAppsReader>(file);
}

}  // namespace triage
